// Drives the system's headless Chromium against the built agent (node browser_test.mjs <agent>).
//
// The agent runs headless on a free port with its own settings folders. This script serves
// one small page from http://localhost:<pages> (a trusted origin) and from
// http://127.0.0.2:<pages> (an untrusted one), runs a loopback TCP printer, and checks:
// - the trusted page prints with fetch (a JSON POST, so the browser sends a preflight first)
//   and reads the answer and the version header;
// - the trusted page prints over the WebSocket job channel and reads every event;
// - the untrusted page cannot read the answer to its POST /print and cannot open the
//   WebSocket, and nothing it sends reaches the printer.
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import http from 'node:http';
import net from 'node:net';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { chromium } from 'playwright-core';

const CHROMIUM = '/usr/bin/chromium';
const CHROMIUM_ARGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];
const PAGE = '<!doctype html><meta charset="utf-8"><title>parvello browser test</title><p>test page</p>';
const OVERALL_LIMIT_MS = 240_000;

const cleanups = [];
const cleanUp = async () => {
  for (const step of cleanups.reverse()) {
    try { await step(); } catch { /* best effort */ }
  }
};

// A loopback port that nothing listened on a moment ago. Test processes run side by side, and
// a port the kernel picks itself (for a listener on port 0, or a client's own end) could be
// taken by another test between the pick and the listen; so the port comes from below the
// kernel's range for such ports, from a band of this process's own.
let portsPicked = 0;
async function freePort() {
  let kernelLow = 32768;
  try {
    kernelLow = Number(readFileSync('/proc/sys/net/ipv4/ip_local_port_range', 'utf8').trim().split(/\s+/)[0]) || kernelLow;
  } catch { /* Linux's default */ }
  const lowest = 10000;
  const band = 16;
  const count = kernelLow - lowest;
  if (count < 64 * band) throw new Error('no port range left below the kernel\'s');
  const start = (process.pid % Math.floor(count / band)) * band;
  for (let tries = 0; tries < count; ++tries) {
    const port = lowest + ((start + portsPicked++) % count);
    if (await canListen(port)) return port;
  }
  throw new Error('no free loopback port');
}

function canListen(port) {
  return new Promise((resolve) => {
    const probe = net.createServer();
    probe.once('error', () => resolve(false));
    probe.listen(port, '127.0.0.1', () => probe.close(() => resolve(true)));
  });
}

function listen(server, port, host) {
  return new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(port, host, () => resolve(server.address().port));
  });
}

// A network printer: records the bytes of every connection once the client has closed it.
async function startPrinter() {
  const jobs = [];
  const server = net.createServer((socket) => {
    const chunks = [];
    socket.on('data', (chunk) => chunks.push(chunk));
    socket.on('end', () => { jobs.push(Buffer.concat(chunks).toString('latin1')); socket.end(); });
    socket.on('error', () => {});
  });
  const port = await listen(server, 0, '127.0.0.1');
  cleanups.push(() => new Promise((resolve) => server.close(resolve)));
  // The jobs once `count` have arrived: a connection's end may be seen a moment after the
  // agent has answered.
  const received = async (count) => {
    for (const deadline = Date.now() + 10_000; jobs.length < count && Date.now() < deadline;) {
      await new Promise((resolve) => setTimeout(resolve, 10));
    }
    return jobs;
  };
  return { port, received };
}

// The same page on 127.0.0.1 (reached as localhost) and on 127.0.0.2, at one port.
async function startPages() {
  const port = await freePort();
  for (const host of ['127.0.0.1', '127.0.0.2']) {
    const server = http.createServer((request, response) => {
      response.writeHead(200, { 'content-type': 'text/html; charset=utf-8' });
      response.end(PAGE);
    });
    await listen(server, port, host);
    cleanups.push(() => new Promise((resolve) => server.close(resolve)));
  }
  return { trusted: `http://localhost:${port}/`, untrusted: `http://127.0.0.2:${port}/` };
}

async function startAgent(binary) {
  const port = await freePort();
  const home = mkdtempSync(join(tmpdir(), 'parvello-browser-'));
  cleanups.push(() => rmSync(home, { recursive: true, force: true }));
  const env = {};
  for (const [name, value] of Object.entries(process.env)) {
    if (!name.startsWith('PARVELLO_') && !['NO_COLOR', 'DISPLAY', 'WAYLAND_DISPLAY'].includes(name)) env[name] = value;
  }
  Object.assign(env, { HOME: home, XDG_CONFIG_HOME: join(home, 'config'), XDG_DATA_HOME: join(home, 'data') });
  const agent = spawn(binary, ['--no-tray', '--port', String(port)], { env, stdio: ['ignore', 'ignore', 'pipe'] });
  let stderr = '';
  agent.stderr.on('data', (chunk) => { stderr += chunk; });
  cleanups.push(() => agent.kill('SIGTERM'));

  const base = `http://127.0.0.1:${port}`;
  for (const deadline = Date.now() + 20_000; ;) {
    if (agent.exitCode !== null) throw new Error(`agent exited with ${agent.exitCode}: ${stderr}`);
    try {
      const status = await fetch(`${base}/status`);
      if (status.ok) break;
    } catch { /* not listening yet */ }
    if (Date.now() > deadline) throw new Error(`agent did not start: ${stderr}`);
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
  return { base, ws: `ws://127.0.0.1:${port}/ws` };
}

function printJob(printerPort, text) {
  return JSON.stringify({
    protocol: 'zpl',
    handshake: 'fire_and_forget',
    transport: { type: 'network', host: '127.0.0.1', port: printerPort },
    labels: [{ index: 0, data_base64: Buffer.from(text).toString('base64') }],
  });
}

// In the page: POST /print as a page script does it, with the JSON content type.
async function pagePrint({ url, job }) {
  try {
    const response = await fetch(url, { method: 'POST', headers: { 'content-type': 'application/json' }, body: job });
    return { status: response.status, version: response.headers.get('x-parvello-version'), body: await response.text() };
  } catch (error) {
    return { failed: String(error) };
  }
}

// In the page: one job over the WebSocket, collecting its events up to the final one.
function pageWebSocketJob({ url, job }) {
  return new Promise((resolve) => {
    const events = [];
    let opened = false;
    const socket = new WebSocket(url);
    socket.onopen = () => { opened = true; socket.send(job); };
    socket.onmessage = (message) => {
      events.push(message.data);
      const type = JSON.parse(message.data).type;
      if (type === 'done' || type === 'error') socket.close();
    };
    socket.onclose = (close) => resolve({ opened, events, code: close.code });
  });
}

async function main(binary) {
  const printer = await startPrinter();
  const pages = await startPages();
  const agent = await startAgent(binary);

  const profile = mkdtempSync(join(tmpdir(), 'parvello-chromium-'));
  cleanups.push(() => rmSync(profile, { recursive: true, force: true }));
  const browser = await chromium.launchPersistentContext(profile, {
    executablePath: CHROMIUM, headless: true, args: CHROMIUM_ARGS,
  });
  cleanups.push(() => browser.close());

  const trusted = await browser.newPage();
  await trusted.goto(pages.trusted);
  const untrusted = await browser.newPage();
  await untrusted.goto(pages.untrusted);

  // Trusted page, fetch: the preflight passes, the job prints and the answer is readable.
  const printed = await trusted.evaluate(pagePrint, { url: `${agent.base}/print`, job: printJob(printer.port, 'fetch label') });
  assert.deepEqual(printed, { status: 200, version: expectedVersion, body: '{"completed":1,"total":1}' });
  assert.deepEqual(await printer.received(1), ['fetch label']);

  // Trusted page, WebSocket: every event of the job arrives, in order.
  const streamed = await trusted.evaluate(pageWebSocketJob, { url: agent.ws, job: printJob(printer.port, 'websocket label') });
  assert.equal(streamed.opened, true);
  assert.deepEqual(streamed.events, [
    '{"type":"progress","phase":"starting_label","batch_index":0,"batch_total":1,"label_index":0,"label_total":1}',
    '{"type":"progress","phase":"sending","batch_index":0,"batch_total":1,"label_index":0,"label_total":1}',
    '{"type":"label_done","index":1,"total":1}',
    '{"type":"done","completed":1,"total":1}',
  ]);
  assert.deepEqual(await printer.received(2), ['fetch label', 'websocket label']);

  // Untrusted page: the answer to POST /print is hidden from it, and the WebSocket never opens.
  const hidden = await untrusted.evaluate(pagePrint, { url: `${agent.base}/print`, job: printJob(printer.port, 'untrusted fetch') });
  assert.ok(hidden.failed, `the untrusted page read the answer: ${JSON.stringify(hidden)}`);
  const refused = await untrusted.evaluate(pageWebSocketJob, { url: agent.ws, job: printJob(printer.port, 'untrusted websocket') });
  assert.deepEqual(refused, { opened: false, events: [], code: 1006 });

  // Nothing of the untrusted page reached the printer: a trusted job behind its attempts is
  // the next to arrive.
  const after = await trusted.evaluate(pagePrint, { url: `${agent.base}/print`, job: printJob(printer.port, 'last label') });
  assert.equal(after.status, 200);
  assert.deepEqual(await printer.received(3), ['fetch label', 'websocket label', 'last label']);
}

const binary = process.argv[2];
const expectedVersion = process.argv[3];
if (!binary || !expectedVersion) {
  console.error('usage: node browser_test.mjs <parvello binary> <version>');
  process.exit(2);
}
const limit = setTimeout(() => { console.error('browser test: time limit reached'); cleanUp().finally(() => process.exit(1)); }, OVERALL_LIMIT_MS);
try {
  await main(binary);
  console.log('browser test: passed');
  process.exitCode = 0;
} catch (error) {
  console.error('browser test: failed:', error);
  process.exitCode = 1;
} finally {
  clearTimeout(limit);
  await cleanUp();
}
