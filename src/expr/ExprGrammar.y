/* Grammar of the expression language. Bison builds the LALR(1) tables; the
   actions evaluate while the parser reduces (see ExprParser.h). */

%require "3.8"
%define api.pure full
%define api.push-pull push
%define api.prefix {mxexpr_}
%define api.token.prefix {YT_}
%define api.value.type {meldrix::ExprValue}
%parse-param {meldrix::yy_parse& p}

%code requires {
#include "expr/ExprValue.h"
namespace meldrix { class yy_parse; }
}

%code top {
/* Both stacks hold 150 entries; one more is the overflow. */
#define YYINITDEPTH 151
#define YYMAXDEPTH 151
}

%code {
#include "expr/ExprParser.h"
#include "expr/ExprScanner.h"
#include "expr/ExprTokens.h"

namespace {
void mxexpr_error(meldrix::yy_parse& p, const char* message) { p.ReportError(message); }
}
}

%token GE 258
%token LE 259
%token NE 260
%token POW 261
%token AND 262
%token ASSIGN 263
%token INTEGER 264
%token REAL 265
%token STRING 266
%token IDENT 267
%token DIN 268
%token AIN 269
%token DOUT 270
%token AOUT 271
%token CLRVAR 272
%token VAR 273
%token EVAL 274
%token MOD 275
%token NOT 276
%token OR 277
%token XOR 278
%token LEN 279
%token LEFT 280
%token RIGHT 281
%token CONCAT 282
%token FIND 283
%token MID 284
%token FORMAT 285
%token GETCSV 286
%token REPLACE 287
%token REPLACEALL 288
%token REGEXP 289
%token SEL 290
%token INILOOKUP 291
%token INIWRITE 292
%token QIMPULSE 293
%token SHL 294
%token SHR 295
%token DBLOOKUP 296
%token DBFIELD 297
%token DBREAD 298
%token DBWRITE 299
%token DBUPDATE 300
%token DBEXEC 301
%token DBCOUNT 302
%token DBTABLE 303
%token DBXML 304
%token EXECUTE 305
%token IF 306
%token THEN 307
%token ELSIF 308
%token ELSE 309
%token END_IF 310
%token DDE 311
%token DDEEXEC 312
%token OPC 313
%token SNMP 314
%token PING 315
%token WAKEONLAN 316
%token UPPERCASE 317
%token LOWERCASE 318
%token MESSAGEBOX 319
%token FILETEXT 320

%left OR
%left XOR
%left AND
%nonassoc NE
%nonassoc '='
%nonassoc '<' '>' GE LE
%left '-'
%left '+'
%left MOD
%left '/'
%left '*'
%precedence UMINUS NOT
%left POW

%%

program: statements ;

statements
  : statement
  | statements ';' statement
  | statements ';'
  ;

statement
  : expr                                           { p.ExpressionStatement($1); }
  | IDENT ASSIGN expr                              { p.AssignIdent($1, $3); }
  | IDENT '[' expr ']' ASSIGN expr                 { p.AssignIndexed($1, $3, $6); }
  | VAR '(' expr ')' ASSIGN expr                   { p.AssignVar($3, $6); }
  | DBFIELD '(' expr ')' ASSIGN expr               { p.AssignDbField($3, $6); }
  | DOUT ASSIGN expr                               { p.AssignDout($1, $3); }
  | AOUT ASSIGN expr                               { p.AssignAout($1, $3); }
  | DDE '(' expr ',' expr ',' expr ')' ASSIGN expr { p.AssignDde($3, $5, $7, $10); }
  | OPC '(' expr ',' expr ')' ASSIGN expr          { p.AssignOpc($3, $5, $8); }
  | DDEEXEC '(' expr ',' expr ',' expr ')'         { p.DdeExec($3, $5, $7); }
  | CLRVAR '(' expr ')'                            { p.ClrVar($3); }
  | if_statement
  ;

if_statement
  : IF expr THEN { p.IfThen($2); }
    statements elsif_parts else_part END_IF        { p.EndIf(); }
  ;

elsif_parts
  : %empty
  | elsif_parts ELSIF { p.BeforeBranch(); }
    expr THEN { p.ElsifThen($4); }
    statements
  ;

else_part
  : %empty
  | ELSE { p.BeforeBranch(); } statements
  ;

expr
  : expr OR expr         { $$ = p.Or($1, $3); }
  | expr XOR expr        { $$ = p.Xor($1, $3); }
  | expr AND expr        { $$ = p.And($1, $3); }
  | expr NE expr         { $$ = p.Equal($1, $3, false); }
  | expr '=' expr        { $$ = p.Equal($1, $3, true); }
  | expr '<' expr        { $$ = p.Compare($1, $3, '<'); }
  | expr '>' expr        { $$ = p.Compare($1, $3, '>'); }
  | expr LE expr         { $$ = p.Compare($1, $3, meldrix::TOK_LE); }
  | expr GE expr         { $$ = p.Compare($1, $3, meldrix::TOK_GE); }
  | expr '-' expr        { $$ = p.Subtract($1, $3); }
  | expr '+' expr        { $$ = p.Add($1, $3); }
  | expr MOD expr        { $$ = p.Modulo($1, $3); }
  | expr '/' expr        { $$ = p.Divide($1, $3); }
  | expr '*' expr        { $$ = p.Multiply($1, $3); }
  | expr POW expr        { $$ = p.Power($1, $3); }
  | '-' expr %prec UMINUS { $$ = p.Negate($2); }
  | '+' expr %prec UMINUS { $$ = $2; }
  | NOT expr             { $$ = p.Not($2); }
  | '(' expr ')'         { $$ = $2; }
  | INTEGER              { $$ = $1; }
  | REAL                 { $$ = $1; }
  | STRING               { $$ = $1; }
  | IDENT                { $$ = p.ReadIdent($1); }
  | IDENT '[' expr ']'   { $$ = p.ReadIndexed($1, $3); }
  | DIN                  { $$ = p.ReadDin($1); }
  | AIN                  { $$ = meldrix::MakeReal(0.0); }
  | DOUT                 { $$ = p.ReadDout($1); }
  | AOUT                 { $$ = meldrix::MakeReal(0.0); }
  | VAR '(' expr ')'     { $$ = p.ReadVar($3); }
  | DDE '(' expr ',' expr ',' expr ')' { $$ = p.ReadDde($3, $5, $7); }
  | OPC '(' expr ',' expr ')'          { $$ = p.ReadOpc($3, $5); }
  | CONCAT '(' concat_list ')'         { $$ = $3; }
  | LEN '(' expr ')'                   { $$ = p.Len($3); }
  | LEFT '(' expr ',' expr ')'         { $$ = p.Left($3, $5); }
  | RIGHT '(' expr ',' expr ')'        { $$ = p.Right($3, $5); }
  | MID '(' expr ',' expr ')'          { $$ = p.Mid($3, $5); }
  | MID '(' expr ',' expr ',' expr ')' { $$ = p.Mid($3, $5, $7); }
  | FIND '(' expr ',' expr ')'         { $$ = p.Find($3, $5); }
  | REPLACE '(' expr ',' expr ',' expr ',' expr ')' { $$ = p.Replace($3, $5, $7, $9); }
  | REPLACEALL '(' expr ',' expr ',' expr ')'       { $$ = p.ReplaceAll($3, $5, $7); }
  | UPPERCASE '(' expr ')'             { $$ = p.UpperCase($3); }
  | LOWERCASE '(' expr ')'             { $$ = p.LowerCase($3); }
  | GETCSV '(' expr ',' expr ')'       { $$ = p.GetCsv($3, $5); }
  | GETCSV '(' expr ',' expr ',' expr ')' { $$ = p.GetCsv($3, $5, $7); }
  | FORMAT '(' expr ',' expr ')'       { $$ = p.Format($3, $5); }
  | REGEXP '(' expr ',' expr ',' expr ')' { $$ = p.RegExp($3, $5, $7); }
  | SEL '(' expr ',' expr ',' expr ')' { $$ = p.Sel($3, $5, $7); }
  | SHL '(' expr ',' expr ')'          { $$ = p.Shl($3, $5); }
  | SHR '(' expr ',' expr ')'          { $$ = p.Shr($3, $5); }
  | EVAL '(' expr ')'                  { $$ = p.Eval($3); }
  | FILETEXT '(' expr ')'              { $$ = p.FileText($3); }
  | FILETEXT '(' expr ',' expr ')'     { $$ = p.FileText($3, $5); }
  | INILOOKUP '(' expr ',' expr ',' expr ')' { $$ = p.IniLookup($3, $5, $7); }
  | INIWRITE '(' expr ',' expr ',' expr ',' expr ')' { $$ = p.IniWrite($3, $5, $7, $9); }
  | EXECUTE '(' expr ')'               { $$ = p.Execute($3); }
  | EXECUTE '(' expr ',' expr ')'      { $$ = p.Execute($3, $5); }
  | MESSAGEBOX '(' expr ',' expr ')'   { $$ = p.MessageBox($3, $5); }
  | QIMPULSE '(' DOUT ',' expr ')'     { $$ = p.QImpulse($3, $5); }
  | DBFIELD '(' expr ')'               { $$ = p.DbField($3); }
  | DBEXEC '(' expr ',' expr ')'       { $$ = p.NoAction({$3, $5}, false); }
  | DBWRITE '(' expr ',' expr ')'      { $$ = p.NoAction({$3, $5}, false); }
  | DBCOUNT '(' expr ',' expr ',' expr ')' { $$ = p.NoAction({$3, $5, $7}, false); }
  | DBUPDATE '(' expr ',' expr ',' expr ',' expr ',' expr ')'
                                       { $$ = p.NoAction({$3, $5, $7, $9, $11}, false); }
  | DBXML '(' expr ',' expr ')'        { $$ = p.NoAction({$3, $5}, true); }
  | DBTABLE '(' expr ',' expr ',' expr ',' expr ')' { $$ = p.NoAction({$3, $5, $7, $9}, true); }
  | DBREAD '(' expr ',' expr ',' expr ',' expr ')'  { $$ = p.NoAction({$3, $5, $7, $9}, true); }
  | DBREAD '(' expr ',' expr ',' expr ',' expr ',' expr ')'
                                       { $$ = p.NoAction({$3, $5, $7, $9, $11}, true); }
  | DBREAD '(' expr ',' expr ',' expr ',' expr ',' expr ',' expr ')'
                                       { $$ = p.NoAction({$3, $5, $7, $9, $11, $13}, true, 5); }
  | DBLOOKUP '(' expr ',' expr ',' expr ')' { $$ = p.NoAction({$3, $5, $7}, true); }
  | DBLOOKUP '(' expr ',' expr ',' expr ',' expr ')' { $$ = p.NoAction({$3, $5, $7, $9}, true); }
  | DBLOOKUP '(' expr ',' expr ',' expr ',' expr ',' expr ')'
                                       { $$ = p.NoAction({$3, $5, $7, $9, $11}, true); }
  | WAKEONLAN '(' expr ',' expr ',' expr ',' expr ')'
                                       { $$ = p.NoAction({$3, $5, $7, $9}, false, 3); }
  | PING '(' expr ')'                  { $$ = p.NoAction({$3}, true, -1, true); }
  | SNMP '(' expr ',' expr ')'         { $$ = p.NoAction({$3, $5}, true, -1, true); }
  ;

concat_list
  : expr                 { $$ = $1; }
  | concat_list ',' expr { $$ = p.Concat($1, $3); }
  ;

%%

static_assert(static_cast<int>(YT_GE) == static_cast<int>(meldrix::TOK_GE));
static_assert(static_cast<int>(YT_LE) == static_cast<int>(meldrix::TOK_LE));
static_assert(static_cast<int>(YT_NE) == static_cast<int>(meldrix::TOK_NE));
static_assert(static_cast<int>(YT_POW) == static_cast<int>(meldrix::TOK_POW));
static_assert(static_cast<int>(YT_AND) == static_cast<int>(meldrix::TOK_AND));
static_assert(static_cast<int>(YT_ASSIGN) == static_cast<int>(meldrix::TOK_ASSIGN));
static_assert(static_cast<int>(YT_INTEGER) == static_cast<int>(meldrix::TOK_INTEGER));
static_assert(static_cast<int>(YT_REAL) == static_cast<int>(meldrix::TOK_REAL));
static_assert(static_cast<int>(YT_STRING) == static_cast<int>(meldrix::TOK_STRING));
static_assert(static_cast<int>(YT_IDENT) == static_cast<int>(meldrix::TOK_IDENT));
static_assert(static_cast<int>(YT_DIN) == static_cast<int>(meldrix::TOK_DIN));
static_assert(static_cast<int>(YT_AIN) == static_cast<int>(meldrix::TOK_AIN));
static_assert(static_cast<int>(YT_DOUT) == static_cast<int>(meldrix::TOK_DOUT));
static_assert(static_cast<int>(YT_AOUT) == static_cast<int>(meldrix::TOK_AOUT));
static_assert(static_cast<int>(YT_CLRVAR) == static_cast<int>(meldrix::TOK_CLRVAR));
static_assert(static_cast<int>(YT_VAR) == static_cast<int>(meldrix::TOK_VAR));
static_assert(static_cast<int>(YT_EVAL) == static_cast<int>(meldrix::TOK_EVAL));
static_assert(static_cast<int>(YT_MOD) == static_cast<int>(meldrix::TOK_MOD));
static_assert(static_cast<int>(YT_NOT) == static_cast<int>(meldrix::TOK_NOT));
static_assert(static_cast<int>(YT_OR) == static_cast<int>(meldrix::TOK_OR));
static_assert(static_cast<int>(YT_XOR) == static_cast<int>(meldrix::TOK_XOR));
static_assert(static_cast<int>(YT_LEN) == static_cast<int>(meldrix::TOK_LEN));
static_assert(static_cast<int>(YT_LEFT) == static_cast<int>(meldrix::TOK_LEFT));
static_assert(static_cast<int>(YT_RIGHT) == static_cast<int>(meldrix::TOK_RIGHT));
static_assert(static_cast<int>(YT_CONCAT) == static_cast<int>(meldrix::TOK_CONCAT));
static_assert(static_cast<int>(YT_FIND) == static_cast<int>(meldrix::TOK_FIND));
static_assert(static_cast<int>(YT_MID) == static_cast<int>(meldrix::TOK_MID));
static_assert(static_cast<int>(YT_FORMAT) == static_cast<int>(meldrix::TOK_FORMAT));
static_assert(static_cast<int>(YT_GETCSV) == static_cast<int>(meldrix::TOK_GETCSV));
static_assert(static_cast<int>(YT_REPLACE) == static_cast<int>(meldrix::TOK_REPLACE));
static_assert(static_cast<int>(YT_REPLACEALL) == static_cast<int>(meldrix::TOK_REPLACEALL));
static_assert(static_cast<int>(YT_REGEXP) == static_cast<int>(meldrix::TOK_REGEXP));
static_assert(static_cast<int>(YT_SEL) == static_cast<int>(meldrix::TOK_SEL));
static_assert(static_cast<int>(YT_INILOOKUP) == static_cast<int>(meldrix::TOK_INILOOKUP));
static_assert(static_cast<int>(YT_INIWRITE) == static_cast<int>(meldrix::TOK_INIWRITE));
static_assert(static_cast<int>(YT_QIMPULSE) == static_cast<int>(meldrix::TOK_QIMPULSE));
static_assert(static_cast<int>(YT_SHL) == static_cast<int>(meldrix::TOK_SHL));
static_assert(static_cast<int>(YT_SHR) == static_cast<int>(meldrix::TOK_SHR));
static_assert(static_cast<int>(YT_DBLOOKUP) == static_cast<int>(meldrix::TOK_DBLOOKUP));
static_assert(static_cast<int>(YT_DBFIELD) == static_cast<int>(meldrix::TOK_DBFIELD));
static_assert(static_cast<int>(YT_DBREAD) == static_cast<int>(meldrix::TOK_DBREAD));
static_assert(static_cast<int>(YT_DBWRITE) == static_cast<int>(meldrix::TOK_DBWRITE));
static_assert(static_cast<int>(YT_DBUPDATE) == static_cast<int>(meldrix::TOK_DBUPDATE));
static_assert(static_cast<int>(YT_DBEXEC) == static_cast<int>(meldrix::TOK_DBEXEC));
static_assert(static_cast<int>(YT_DBCOUNT) == static_cast<int>(meldrix::TOK_DBCOUNT));
static_assert(static_cast<int>(YT_DBTABLE) == static_cast<int>(meldrix::TOK_DBTABLE));
static_assert(static_cast<int>(YT_DBXML) == static_cast<int>(meldrix::TOK_DBXML));
static_assert(static_cast<int>(YT_EXECUTE) == static_cast<int>(meldrix::TOK_EXECUTE));
static_assert(static_cast<int>(YT_IF) == static_cast<int>(meldrix::TOK_IF));
static_assert(static_cast<int>(YT_THEN) == static_cast<int>(meldrix::TOK_THEN));
static_assert(static_cast<int>(YT_ELSIF) == static_cast<int>(meldrix::TOK_ELSIF));
static_assert(static_cast<int>(YT_ELSE) == static_cast<int>(meldrix::TOK_ELSE));
static_assert(static_cast<int>(YT_END_IF) == static_cast<int>(meldrix::TOK_END_IF));
static_assert(static_cast<int>(YT_DDE) == static_cast<int>(meldrix::TOK_DDE));
static_assert(static_cast<int>(YT_DDEEXEC) == static_cast<int>(meldrix::TOK_DDEEXEC));
static_assert(static_cast<int>(YT_OPC) == static_cast<int>(meldrix::TOK_OPC));
static_assert(static_cast<int>(YT_SNMP) == static_cast<int>(meldrix::TOK_SNMP));
static_assert(static_cast<int>(YT_PING) == static_cast<int>(meldrix::TOK_PING));
static_assert(static_cast<int>(YT_WAKEONLAN) == static_cast<int>(meldrix::TOK_WAKEONLAN));
static_assert(static_cast<int>(YT_UPPERCASE) == static_cast<int>(meldrix::TOK_UPPERCASE));
static_assert(static_cast<int>(YT_LOWERCASE) == static_cast<int>(meldrix::TOK_LOWERCASE));
static_assert(static_cast<int>(YT_MESSAGEBOX) == static_cast<int>(meldrix::TOK_MESSAGEBOX));
static_assert(static_cast<int>(YT_FILETEXT) == static_cast<int>(meldrix::TOK_FILETEXT));

namespace meldrix {

int RunExprParser(yy_parse& parser, yy_scan& scanner) {
  mxexpr_pstate* state = mxexpr_pstate_new();
  if (!state) {
    mxexpr_error(parser, "memory exhausted");
    return 2;
  }
  int status = YYPUSH_MORE;
  while (status == YYPUSH_MORE) {
    ExprValue value{};
    int token = scanner.NextToken(value);
    if (token == TOK_SCAN_ABORT) {  // token buffer overflow: the parse ends at once
      status = 1;
      break;
    }
    status = mxexpr_push_parse(state, token, &value, parser);
  }
  mxexpr_pstate_delete(state);
  return status;
}

}  // namespace meldrix
