// An OPC UA server for the tests: node-opcua with a few variables below
// Objects/Plant. Arguments: the port. Prints "ready <port>" once it listens.
// Commands on standard input, one a line:
//   set <name> <value>   sets a variable (its data type decides the conversion)
//   get <name>           prints "value <name> <value>"
// Variables (namespace 1, string ids): Counter (Int32), Line1.Temp (Double,
// also reached as the browse path Plant.Line1.Temp), Name (String), Levels
// (Double array), SetPoint (Double, writable), Ratio (Float), Flag (Boolean),
// Bulk.0 to Bulk.499 (Int32, the value is the number).
"use strict";

const readline = require("readline");
const { OPCUAServer } = require("node-opcua-server");
const { Variant, DataType, VariantArrayType } = require("node-opcua-variant");
const { StatusCodes } = require("node-opcua-status-code");

async function main() {
  const port = Number(process.argv[2] || 4840);
  const server = new OPCUAServer({ port, resourcePath: "/UA/Test", allowAnonymous: true,
                                   buildInfo: { productName: "MeldrixTestServer" } });
  await server.initialize();
  const addressSpace = server.engine.addressSpace;
  const ns = addressSpace.getOwnNamespace();
  const plant = ns.addFolder(addressSpace.rootFolder.objects, { browseName: "Plant" });
  const line1 = ns.addObject({ organizedBy: plant, browseName: "Line1" });
  const variables = {};
  const add = (parent, id, browseName, dataType, value, arrayType) => {
    const variable = ns.addVariable({
      componentOf: parent, browseName, nodeId: "s=" + id, dataType,
      valueRank: arrayType ? 1 : -1,
      accessLevel: "CurrentRead | CurrentWrite", userAccessLevel: "CurrentRead | CurrentWrite",
    });
    variable.setValueFromSource(new Variant({ dataType: DataType[dataType], value, arrayType }), StatusCodes.Good);
    variables[id] = variable;
  };
  add(plant, "Counter", "Counter", "Int32", 42);
  add(line1, "Line1.Temp", "Temp", "Double", 21.5);
  add(plant, "Name", "Name", "String", "Kessel Süd");
  add(plant, "Levels", "Levels", "Double", [1.5, 2.5], VariantArrayType.Array);
  add(plant, "SetPoint", "SetPoint", "Double", 10);
  add(plant, "Ratio", "Ratio", "Float", 0.1);
  add(plant, "Flag", "Flag", "Boolean", true);
  // Many plain items for the benchmarks' first reads: Bulk.0 ... Bulk.499.
  const bulk = ns.addFolder(plant, { browseName: "Bulk" });
  for (let i = 0; i < 500; ++i) add(bulk, "Bulk." + i, String(i), "Int32", i);
  await server.start();
  console.log("ready " + port);

  const input = readline.createInterface({ input: process.stdin });
  input.on("line", (line) => {
    const [command, name, ...rest] = line.split(" ");
    const variable = variables[name];
    if (!variable) return console.log("unknown " + name);
    if (command === "set") {
      const dataType = variable.dataTypeObj.basicDataType;
      const text = rest.join(" ");
      const value = dataType === DataType.String ? text : dataType === DataType.Boolean ? text === "true" : Number(text);
      variable.setValueFromSource(new Variant({ dataType, value }), StatusCodes.Good);
      console.log("set " + name);
    } else if (command === "get") {
      console.log("value " + name + " " + variable.readValue().value.value);
    }
  });
  const stop = async () => { await server.shutdown(0); process.exit(0); };
  process.on("SIGTERM", stop);
  input.on("close", stop);
}

main().catch((e) => { console.error(e); process.exit(1); });
