#!/usr/bin/env node
// meldrix-opc-bridge: the OPC UA side of Meldrix's OPC client. The program
// starts it with one end of a socketpair as descriptor 3 and talks to it in
// lines of tab-separated fields (UTF-8; "\\", tab, CR and LF escaped as \\, \t,
// \r, \n):
//
//   requests   <id> connect <key> <url> <rate ms> <policy> <mode> <user> <password> <cert> <private key>
//              <id> add <key> <handle> <item id>      -> ok <node id>
//              <id> read <key> <handle>               -> ok <value> <status> <time ms>
//              <id> write <key> <handle> <text>       -> ok
//              <id> close <key>                       -> ok
//              <id> ping                              -> ok
//   replies    <id> ok ...  |  <id> err <kind> <detail>
//              kinds: connect, groups, unknown, lost, status, convert, limit, request
//   from here  0 ready <version>  |  0 change <key> <handle> <value> <status> <time ms>  |  0 lost <key>
//
// Values are texts with "." as decimal separator, arrays "?ARRAY?"; the status
// is the OPC UA status code in hexadecimal; times are milliseconds since 1970
// UTC, empty when the server gave none.
"use strict";

const path = require("path");
const net = require("net");

// node-opcua lives in node_modules beside the script, in the build tree's
// opc-bridge folder, or where MELDRIX_OPC_NODE_MODULES says.
for (const folder of [process.env.MELDRIX_OPC_NODE_MODULES, path.join(__dirname, "node_modules"),
                      path.join(__dirname, "..", "opc-bridge", "node_modules"),
                      path.join(__dirname, "..", "lib", "meldrix", "opc-bridge", "node_modules")]) {
  if (folder) module.paths.push(folder);
}
const opcua = require("node-opcua-client");
const {
  OPCUAClient, AttributeIds, TimestampsToReturn, DataType, VariantArrayType, MessageSecurityMode,
  SecurityPolicy, UserTokenType, BrowseDirection, NodeClass, resolveNodeId, ClientSubscription,
} = opcua;

const kMaxLine = 64 * 1024;
const kMaxConnections = 64;
const kMaxItemsPerConnection = 10000;
// All of a connect (channel, session, subscription) within this, below the
// program's own limit, so no session is opened after the program gave up.
const kConnectTimeoutMs = 8000;

// ---- framing --------------------------------------------------------------

function escapeField(text) {
  return String(text).replace(/[\\\t\r\n]/g, (c) => ({ "\\": "\\\\", "\t": "\\t", "\r": "\\r", "\n": "\\n" })[c]);
}
function unescapeField(text) {
  return text.replace(/\\(.)/g, (_, c) => ({ t: "\t", r: "\r", n: "\n" })[c] ?? c);
}

const channel = new net.Socket({ fd: 3, readable: true, writable: true });
// Data changes waiting while the program reads slowly: only the latest value
// of each item is kept, so the backlog is bounded by the number of items.
const heldChanges = new Map();

function send(fields) {
  const line = fields.map(escapeField).join("\t") + "\n";
  if (Buffer.byteLength(line) > kMaxLine) return false;
  channel.write(line);
  return true;
}
function reply(id, fields) {
  if (!send([id, ...fields])) send([id, "err", "request", "reply too long"]);
}
function notifyChange(key, handle, fields) {
  if (channel.writableNeedDrain) {
    heldChanges.set(key + "\t" + handle, ["0", "change", key, handle, ...fields]);
    return;
  }
  send(["0", "change", key, handle, ...fields]);
}
channel.on("drain", () => {
  const held = [...heldChanges.values()];
  heldChanges.clear();
  for (const fields of held) send(fields);
});

let pending = "";
channel.on("data", (chunk) => {
  pending += chunk.toString("utf8");
  let at;
  while ((at = pending.indexOf("\n")) >= 0) {
    const line = pending.slice(0, at);
    pending = pending.slice(at + 1);
    handleLine(line);
  }
  // A peer that sends an endless line is not ours: stop.
  if (pending.length > kMaxLine) process.exit(2);
});
channel.on("end", () => shutDown());
channel.on("error", () => shutDown());

let shuttingDown = false;
async function shutDown() {
  if (shuttingDown) return;
  shuttingDown = true;
  const closing = [...connections.values()].map((c) => c.close().catch(() => {}));
  await Promise.race([Promise.all(closing), new Promise((r) => setTimeout(r, 1500))]);
  process.exit(0);
}
process.on("SIGTERM", shutDown);

// ---- values ---------------------------------------------------------------

function int64Text(value, signed) {
  // node-opcua gives 64-bit integers as [high, low] 32-bit halves.
  if (!Array.isArray(value)) return String(value);
  let n = (BigInt(value[0] >>> 0) << 32n) | BigInt(value[1] >>> 0);
  if (signed && n >= 1n << 63n) n -= 1n << 64n;
  return n.toString();
}

function numberText(value, digits) {
  if (!Number.isFinite(value)) return String(value);
  return String(Number(value.toPrecision(digits))).replace("e", "E");
}

// The value as the program keeps it; null when it has no text form.
function valueText(variant) {
  if (!variant || variant.dataType === DataType.Null || variant.value === null || variant.value === undefined) return "";
  if (variant.arrayType !== undefined && variant.arrayType !== VariantArrayType.Scalar) return "?ARRAY?";
  const v = variant.value;
  switch (variant.dataType) {
    case DataType.String: return v;
    case DataType.Boolean: return v ? "-1" : "0";
    case DataType.Float: return numberText(v, 7);
    case DataType.Double: return numberText(v, 15);
    case DataType.Int64: return int64Text(v, true);
    case DataType.UInt64: return int64Text(v, false);
    case DataType.SByte: case DataType.Byte: case DataType.Int16: case DataType.UInt16:
    case DataType.Int32: case DataType.UInt32: return String(v);
    case DataType.ByteString: return "?ARRAY?";
    case DataType.DateTime: return v instanceof Date && !isNaN(v) ? v.toISOString() : "";
    case DataType.LocalizedText: return v.text ?? "";
    case DataType.QualifiedName: return v.name ?? "";
    case DataType.Guid: case DataType.NodeId: case DataType.ExpandedNodeId: return v.toString();
    case DataType.StatusCode: return String(v.value);
    default: return null;
  }
}

function statusText(statusCode) {
  return ((statusCode ? statusCode.value : 0) >>> 0).toString(16).toUpperCase();
}

function timeText(dataValue) {
  const t = dataValue.sourceTimestamp || dataValue.serverTimestamp;
  return t instanceof Date && !isNaN(t) ? String(t.getTime()) : "";
}

const kIntegerRanges = {
  [DataType.SByte]: [-128, 127], [DataType.Byte]: [0, 255], [DataType.Int16]: [-32768, 32767],
  [DataType.UInt16]: [0, 65535], [DataType.Int32]: [-2147483648, 2147483647], [DataType.UInt32]: [0, 4294967295],
};

// The text as a value of the variable's data type; throws a text on failure.
function variantFor(dataType, text) {
  const trimmed = text.trim();
  const number = () => {
    const n = trimmed === "" ? NaN : Number(trimmed);
    if (!Number.isFinite(n)) throw `'${text}' is no number`;
    return n;
  };
  switch (dataType) {
    case DataType.String: return { dataType, value: text };
    case DataType.LocalizedText: return { dataType, value: { text } };
    case DataType.Boolean: {
      const lower = trimmed.toLowerCase();
      if (lower === "true") return { dataType, value: true };
      if (lower === "false") return { dataType, value: false };
      return { dataType, value: number() !== 0 };
    }
    case DataType.Float: case DataType.Double: return { dataType, value: number() };
    case DataType.Int64: case DataType.UInt64: {
      let n;
      try { n = BigInt(trimmed); } catch { n = BigInt(Math.round(number())); }
      const low = dataType === DataType.Int64 ? -(1n << 63n) : 0n;
      const high = dataType === DataType.Int64 ? (1n << 63n) - 1n : (1n << 64n) - 1n;
      if (n < low || n > high) throw `'${text}' is out of range`;
      const u = n < 0n ? n + (1n << 64n) : n;
      return { dataType, value: [Number(u >> 32n), Number(u & 0xffffffffn)] };
    }
    case DataType.DateTime: {
      const d = new Date(trimmed);
      if (isNaN(d)) throw `'${text}' is no date`;
      return { dataType, value: d };
    }
    default: {
      const range = kIntegerRanges[dataType];
      if (!range) throw `values of type ${DataType[dataType]} cannot be written`;
      const n = Math.round(number());
      if (n < range[0] || n > range[1]) throw `'${text}' is out of range`;
      return { dataType, value: n };
    }
  }
}

// ---- connections ----------------------------------------------------------

class BridgeError extends Error {
  constructor(kind, detail) { super(detail); this.kind = kind; }
}

function withTimeout(promise, ms, what) {
  let timer;
  return Promise.race([promise, new Promise((_, reject) => {
    timer = setTimeout(() => reject(new Error(what + " timed out")), ms);
  })]).finally(() => clearTimeout(timer));
}

const connections = new Map();

class Connection {
  constructor(key) {
    this.key = key;
    this.items = new Map();  // handle -> { nodeId, dataType, monitored }
    this.alive = false;
  }

  async open(url, rate, policy, mode, user, password, cert, privateKey) {
    const options = {
      applicationName: "Meldrix",
      endpointMustExist: false,
      keepSessionAlive: true,
      requestedSessionTimeout: 60000,
      connectionStrategy: { maxRetry: 0, initialDelay: 100, maxDelay: 500 },
      securityMode: MessageSecurityMode[mode || "None"],
      securityPolicy: SecurityPolicy[policy || "None"],
    };
    if (options.securityMode === undefined) throw new BridgeError("connect", `unknown security mode '${mode}'`);
    if (options.securityPolicy === undefined) throw new BridgeError("connect", `unknown security policy '${policy}'`);
    if (cert) options.certificateFile = cert;
    if (privateKey) options.privateKeyFile = privateKey;
    this.client = OPCUAClient.create(options);
    const lost = () => this.markLost();
    this.client.on("connection_lost", lost);
    this.client.on("close", lost);
    const deadline = Date.now() + kConnectTimeoutMs;
    const left = () => Math.max(0, deadline - Date.now());
    try {
      await withTimeout(this.client.connect(url), left(), "connect");
      const identity = user ? { type: UserTokenType.UserName, userName: user, password } : undefined;
      this.session = await withTimeout(this.client.createSession(identity), left(), "session");
    } catch (e) {
      await this.close();
      throw new BridgeError("connect", e.message);
    }
    this.session.on("session_closed", lost);
    this.session.on("keepalive_failure", lost);
    try {
      this.subscription = await withTimeout(this.session.createSubscription2({
        requestedPublishingInterval: rate, requestedLifetimeCount: 100, requestedMaxKeepAliveCount: 10,
        maxNotificationsPerPublish: 1000, publishingEnabled: true, priority: 10,
      }), left(), "subscription");
    } catch (e) {
      await this.close();
      throw new BridgeError("groups", e.message);
    }
    this.subscription.on("terminated", lost);
    this.rate = rate;
    this.alive = true;
  }

  markLost() {
    if (!this.alive) return;
    this.alive = false;
    send(["0", "lost", this.key]);
    this.close().catch(() => {});
  }

  async close() {
    this.alive = false;
    const client = this.client;
    this.client = this.session = this.subscription = undefined;
    if (client) await withTimeout(client.disconnect(), 2000, "disconnect").catch(() => {});
  }

  requireSession() {
    if (!this.alive || !this.session) throw new BridgeError("lost", "not connected");
    return this.session;
  }

  async browseChild(session, nodeId, name, leaf) {
    let result = await session.browse({
      nodeId, browseDirection: BrowseDirection.Forward, referenceTypeId: "HierarchicalReferences",
      includeSubtypes: true, nodeClassMask: 0, resultMask: 63,
    });
    for (;;) {
      for (const ref of result.references || []) {
        if (ref.browseName.name === name && (!leaf || ref.nodeClass === NodeClass.Variable)) return ref.nodeId;
      }
      if (!result.continuationPoint || result.continuationPoint.length === 0) return null;
      result = (await session.browseNext([result.continuationPoint], false))[0];
    }
  }

  // A NodeId text as it is; any other text as a path of browse names from
  // the Objects folder, the leaf after the last ".".
  async resolve(session, itemId) {
    if (/^(ns=\d+;)?[isgb]=/.test(itemId)) {
      try { return resolveNodeId(itemId); } catch { return null; }
    }
    const dot = itemId.lastIndexOf(".");
    const branch = dot >= 0 ? itemId.slice(0, dot).split(".") : [];
    const leafName = dot >= 0 ? itemId.slice(dot + 1) : itemId;
    let node = resolveNodeId("ObjectsFolder");
    for (const name of branch) {
      node = await this.browseChild(session, node, name, false);
      if (!node) return null;
    }
    return this.browseChild(session, node, leafName, true);
  }

  async add(handle, itemId) {
    const session = this.requireSession();
    if (this.items.size >= kMaxItemsPerConnection) throw new BridgeError("limit", "too many items");
    const nodeId = await this.resolve(session, itemId);
    if (!nodeId) throw new BridgeError("unknown", "");
    const dataTypeValue = await session.read({ nodeId, attributeId: AttributeIds.DataType });
    if (!dataTypeValue.statusCode.isGood()) throw new BridgeError("unknown", nodeId.toString());
    let dataType;
    try { dataType = await session.getBuiltInDataType(nodeId); } catch { dataType = DataType.Null; }
    const monitored = await this.subscription.monitor(
      { nodeId, attributeId: AttributeIds.Value },
      { samplingInterval: this.rate, discardOldest: true, queueSize: 1 }, TimestampsToReturn.Both);
    monitored.on("changed", (dataValue) => {
      const text = valueText(dataValue.value);
      if (text === null) return;  // no text form: the cache keeps what it has
      notifyChange(this.key, handle, [text, statusText(dataValue.statusCode), timeText(dataValue)]);
    });
    this.items.set(handle, { nodeId, dataType, monitored });
    return [nodeId.toString()];
  }

  item(handle) {
    const item = this.items.get(handle);
    if (!item) throw new BridgeError("unknown", "no item with handle " + handle);
    return item;
  }

  async read(handle) {
    const session = this.requireSession();
    const { nodeId } = this.item(handle);
    const dataValue = await session.read({ nodeId, attributeId: AttributeIds.Value }, 0);
    const text = valueText(dataValue.value);
    if (text === null) throw new BridgeError("convert", "the value has no text form");
    return [text, statusText(dataValue.statusCode), timeText(dataValue)];
  }

  async write(handle, text) {
    const session = this.requireSession();
    const { nodeId, dataType } = this.item(handle);
    let value;
    try { value = variantFor(dataType, text); } catch (reason) { throw new BridgeError("convert", String(reason)); }
    const status = await session.write({ nodeId, attributeId: AttributeIds.Value, value: { value } });
    if (status.value >= 0x80000000) throw new BridgeError("status", status.name || statusText(status));
    return [];
  }
}

// ---- requests -------------------------------------------------------------

async function perform(verb, args) {
  const key = args[0] ?? "";
  if (verb === "connect") {
    const old = connections.get(key);
    if (old) await old.close();
    connections.delete(key);
    if (connections.size >= kMaxConnections) throw new BridgeError("limit", "too many connections");
    const connection = new Connection(key);
    const [, url, rate, policy, mode, user, password, cert, privateKey] = args;
    await connection.open(url, Number(rate) || 1000, policy, mode, user, password, cert, privateKey);
    connections.set(key, connection);
    return [];
  }
  if (verb === "ping") return [];
  if (verb === "close") {
    const old = connections.get(key);
    connections.delete(key);
    if (old) await old.close();
    return [];
  }
  const connection = connections.get(key);
  if (!connection) throw new BridgeError("lost", "not connected");
  const handle = args[1];
  if (verb === "add") return connection.add(handle, args[2] ?? "");
  if (verb === "read") return connection.read(handle);
  if (verb === "write") return connection.write(handle, args[2] ?? "");
  throw new BridgeError("request", "unknown request " + verb);
}

function handleLine(line) {
  const fields = line.split("\t").map(unescapeField);
  const [id, verb, ...args] = fields;
  perform(verb, args).then(
    (result) => reply(id, ["ok", ...result]),
    (e) => reply(id, e instanceof BridgeError ? ["err", e.kind, e.message] : ["err", "status", e.message || String(e)]));
}

send(["0", "ready", require("node-opcua-client/package.json").version]);
