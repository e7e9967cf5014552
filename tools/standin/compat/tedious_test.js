// tedious (a Node.js TDS client written elsewhere) against the stand-in server: login,
// detach, attach, sys.databases and errors with SQL Server's numbers, for each TDS
// version tedious speaks, over SQL batches, sp_executesql and RPC procedure calls; then
// with encryption on (trusting the server's certificate) in each encryption mode.
//   node tedious_test.js PATH_TO_dorvane-standin
'use strict';
const { spawn, execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const assert = require('node:assert/strict');
const { Connection, Request, TYPES } = require('tedious');

const standin = process.argv[2];
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'standin-tedious-'));
const dataDir = path.join(work, 'data');
fs.mkdirSync(dataDir);
execFileSync(standin, ['make-sample', dataDir, 'db_ZVQ']);
const dataFile = path.join(dataDir, 'db_ZVQ_Data.MDF');
const logFile = path.join(dataDir, 'db_ZVQ_Log.LDF');

const servers = [];
function startServer(extra) {
  const portFile = path.join(work, `port${servers.length}`);
  fs.rmSync(portFile, { force: true });
  const server = spawn(standin, ['--listen', '127.0.0.1:0', '--port-file', portFile, '--data', dataDir, ...extra],
                 { stdio: ['ignore', 'ignore', 'inherit'] });
  servers.push(server);
  const deadline = Date.now() + 10000;
  return new Promise((resolve, reject) => {
    const poll = () => {
      if (fs.existsSync(portFile) && fs.readFileSync(portFile, 'utf8').endsWith('\n')) {
        return resolve(Number(fs.readFileSync(portFile, 'utf8')));
      }
      if (Date.now() > deadline) return reject(new Error('the stand-in did not start'));
      setTimeout(poll, 20);
    };
    poll();
  });
}

function connect(port, { user = 'sa', password = '', database = 'master', tdsVersion = '7_4', encrypt = false } = {}) {
  return new Promise((resolve, reject) => {
    const c = new Connection({
      server: '127.0.0.1',
      authentication: { type: 'default', options: { userName: user, password } },
      options: { port, database, encrypt, tdsVersion, connectTimeout: 10000, requestTimeout: 10000,
                 trustServerCertificate: true },
    });
    c.on('connect', (err) => (err ? reject(err) : resolve(c)));
    // A server that refuses the encryption answers PRELOGIN and ends the connection,
    // which tedious reports as an 'error' event (a no-op once connected).
    c.on('error', reject);
    c.connect();
  });
}

// Runs one request; resolves {rows, error} (error: the server's RequestError).
function run(connection, make) {
  return new Promise((resolve) => {
    const rows = [];
    const request = make((err) => resolve({ rows, error: err || null }));
    request.on('row', (columns) => rows.push(columns.map((c) => c.value)));
    if (request.kind === 'batch') connection.execSqlBatch(request);
    else if (request.kind === 'proc') connection.callProcedure(request);
    else connection.execSql(request);
  });
}
const batch = (c, sql) => run(c, (done) => Object.assign(new Request(sql, done), { kind: 'batch' }));
const execSql = (c, sql) => run(c, (done) => Object.assign(new Request(sql, done), { kind: 'sql' }));
function proc(c, name, params) {
  return run(c, (done) => {
    const r = Object.assign(new Request(name, done), { kind: 'proc' });
    for (const [n, v] of Object.entries(params)) r.addParameter(n, TYPES.NVarChar, v);
    return r;
  });
}
const close = (c) => new Promise((resolve) => { c.on('end', resolve); c.close(); });

async function workflow(port, tdsVersion) {
  const c = await connect(port, { tdsVersion });
  const list = await batch(c, 'SELECT name FROM sys.databases ORDER BY name');
  assert.equal(list.error, null);
  assert.deepEqual(list.rows.map((r) => r[0]), ['db_ZVQ', 'master', 'model', 'msdb', 'tempdb']);

  assert.equal((await batch(c, "sp_detach_db 'db_ZVQ','true'")).error, null);
  const again = await batch(c, "sp_detach_db 'db_ZVQ','true'");
  assert.equal(again.error?.number, 15010);
  assert.equal(again.error?.message,
               "The database 'db_ZVQ' does not exist. Supply a valid database name. To see available databases, use sys.databases.");

  const attach = await proc(c, 'sp_attach_db', { dbname: 'db_ZVQ', filename1: dataFile, filename2: logFile });
  assert.equal(attach.error, null, attach.error?.message);
  assert.equal((await proc(c, 'sp_attach_db', { dbname: 'db_ZVQ', filename1: dataFile })).error?.number, 1801);
  assert.equal((await proc(c, 'sp_detach_db', { dbname: 'msdb' })).error?.number, 3708);

  const files = await execSql(c, "SELECT name, physical_name FROM sys.master_files WHERE database_id = DB_ID(N'db_ZVQ')");
  assert.equal(files.error, null, files.error?.message);
  assert.deepEqual(files.rows.map((r) => r[1]), [dataFile, logFile]);
  assert.deepEqual((await execSql(c, 'SELECT DB_NAME()')).rows, [['master']]);
  assert.equal((await batch(c, 'USE nowhere')).error?.number, 911);

  const inside = await connect(port, { tdsVersion, database: 'db_ZVQ' });
  const busy = await proc(c, 'sp_detach_db', { dbname: 'db_ZVQ' });
  assert.equal(busy.error?.number, 3703);
  assert.equal(busy.error?.message, "Cannot detach the database 'db_ZVQ' because it is currently in use.");
  // A pooled connection's reset puts it back into its login database.
  assert.equal((await batch(inside, 'USE master')).error, null);
  assert.deepEqual((await batch(inside, 'SELECT DB_NAME()')).rows, [['master']]);
  await new Promise((resolve, reject) => inside.reset((err) => (err ? reject(err) : resolve())));
  assert.deepEqual((await batch(inside, 'SELECT DB_NAME()')).rows, [['db_ZVQ']]);
  assert.equal((await proc(c, 'sp_detach_db', { dbname: 'db_ZVQ' })).error?.number, 3703);
  await close(inside);
  assert.equal((await batch(c, 'CREATE TABLE t (x int)')).error?.number, 50000);
  await close(c);
}

async function loginErrors(port) {
  await assert.rejects(connect(port, { password: 'wrong' }), (err) => {
    assert.match(err.message, /Login failed for user 'sa'\./);
    return true;
  });
  await assert.rejects(connect(port, { database: 'nowhere' }), (err) => {
    assert.match(err.message, /Cannot open database "nowhere" requested by the login\. The login failed\./);
    return true;
  });
}

// With encrypt on, tedious asks for ENCRYPT_ON: the whole session is encrypted by a server
// that encrypts the login only and by a forcing one; a server without encryption refuses.
async function encrypted() {
  for (const mode of ['login-only', 'force']) {
    const c = await connect(await startServer(['--encryption', mode]), { encrypt: true });
    assert.deepEqual((await batch(c, 'SELECT @@MAX_PRECISION, DB_NAME()')).rows, [[38, 'master']]);
    assert.equal((await batch(c, "sp_detach_db 'db_ZVQ','true'")).error, null);
    assert.equal((await proc(c, 'sp_attach_db', { dbname: 'db_ZVQ', filename1: dataFile, filename2: logFile })).error, null);
    await close(c);
    console.log(`ok   tedious encrypt on, server ${mode}: detach and attach`);
  }
  const none = await startServer(['--encryption', 'none']);
  await assert.rejects(connect(none, { encrypt: true }), (err) => {
    assert.match(err.message, /Connection lost/);
    return true;
  });
  await close(await connect(none));
  console.log('ok   tedious encrypt on is refused by a server without encryption; encrypt off connects');
}

async function main() {
  const port = await startServer([]);
  for (const v of ['7_1', '7_2', '7_3_A', '7_3_B', '7_4']) {
    await workflow(port, v);
    console.log(`ok   tedious TDS ${v}: login, detach, attach, catalog queries, errors`);
  }
  await loginErrors(port);
  console.log('ok   tedious login errors 18456 and 4060');
  await encrypted();
}

const timer = setTimeout(() => { console.error('tedious_test: timed out'); finish(1); }, 60000);
function finish(code) {
  clearTimeout(timer);
  for (const server of servers) if (server.exitCode === null) server.kill('SIGTERM');
  fs.rmSync(work, { recursive: true, force: true });
  process.exitCode = code;
}
main().then(() => finish(0), (err) => { console.error('FAIL', err); finish(1); });
