// Runs the property inspector the way the Stream Deck application does: the
// bundle's pages are served from a loopback HTTP server, a headless Chromium
// opens a page and calls connectElgatoStreamDeckSocket() on it, and a
// stand-in host on a loopback WebSocket records every frame the page sends
// and sends it events.

import { once } from 'node:events';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';
import { WebSocketServer } from 'ws';

export const REPO = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', '..');
export const BUNDLE = path.join(REPO, 'com.brimcove.zorvaneplugin.sdPlugin');
export const SCREENSHOTS =
  process.env.INSPECTOR_SCREENSHOTS || path.join(REPO, 'build-inspector', 'screenshots');
export const REGISTER_EVENT = 'registerPropertyInspector';

// Hang guard for waiting on frames; no test relies on how long anything takes.
const FRAME_WAIT_MS = 10000;

const CONTENT_TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.json': 'application/json; charset=utf-8',
  '.png': 'image/png',
  '.jpg': 'image/jpeg',
};

// Frames from one WebSocket connection, taken in order.
class FrameQueue {
  constructor(socket) {
    this.frames = [];
    this.waiters = [];
    socket.on('message', (data) => {
      const frame = JSON.parse(data.toString());
      const waiter = this.waiters.shift();
      if (waiter) waiter(frame);
      else this.frames.push(frame);
    });
  }

  next() {
    if (this.frames.length > 0) return Promise.resolve(this.frames.shift());
    return new Promise((resolve, reject) => {
      const timer = setTimeout(() => {
        this.waiters.splice(this.waiters.indexOf(waiter), 1);
        reject(new Error('the page sent no frame'));
      }, FRAME_WAIT_MS);
      const waiter = (frame) => {
        clearTimeout(timer);
        resolve(frame);
      };
      this.waiters.push(waiter);
    });
  }

  get pending() {
    return this.frames.length;
  }
}

// Serves the bundle folder under / and in-memory files under /fixtures/.
function startHttpServer(fixtures) {
  const server = http.createServer((request, response) => {
    const url = new URL(request.url, 'http://127.0.0.1');
    const name = decodeURIComponent(url.pathname);
    let body;
    if (name.startsWith('/fixtures/')) {
      body = fixtures.get(name.slice('/fixtures/'.length));
    } else {
      const file = path.normalize(path.join(BUNDLE, name));
      if (file.startsWith(BUNDLE + path.sep) && fs.existsSync(file) && fs.statSync(file).isFile()) {
        body = fs.readFileSync(file);
      }
    }
    if (body === undefined) {
      response.writeHead(404).end();
      return;
    }
    const type = CONTENT_TYPES[path.extname(name)] || 'application/octet-stream';
    response.writeHead(200, { 'Content-Type': type }).end(body);
  });
  server.listen(0, '127.0.0.1');
  return once(server, 'listening').then(() => server);
}

export class InspectorHarness {
  // fixtures: Map of file name -> bytes served under /fixtures/.
  static async start(fixtures = new Map()) {
    const harness = new InspectorHarness();
    harness.fixtures = fixtures;
    harness.http = await startHttpServer(fixtures);
    harness.wss = new WebSocketServer({ host: '127.0.0.1', port: 0 });
    await once(harness.wss, 'listening');
    harness.connections = [];
    harness.wss.on('connection', (socket) => {
      const entry = { socket, frames: new FrameQueue(socket) };
      const waiter = harness.connectionWaiters.shift();
      if (waiter) waiter(entry);
      else harness.connections.push(entry);
    });
    harness.connectionWaiters = [];
    harness.profile = fs.mkdtempSync(path.join(os.tmpdir(), 'zorvane-inspector-'));
    harness.context = await chromium.launchPersistentContext(harness.profile, {
      executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
      headless: true,
      args: [
        '--headless',
        '--no-sandbox',
        '--disable-gpu',
        '--no-first-run',
        '--disable-background-networking',
        '--disable-component-update',
        '--disable-sync',
        '--disable-quic',
      ],
      viewport: { width: 360, height: 560 },
    });
    return harness;
  }

  get httpBase() {
    return `http://127.0.0.1:${this.http.address().port}`;
  }

  get wsPort() {
    return this.wss.address().port;
  }

  nextConnection() {
    if (this.connections.length > 0) return Promise.resolve(this.connections.shift());
    return new Promise((resolve, reject) => {
      const timer = setTimeout(() => reject(new Error('the page did not connect')), FRAME_WAIT_MS);
      this.connectionWaiters.push((entry) => {
        clearTimeout(timer);
        resolve(entry);
      });
    });
  }

  // Opens the inspector for one key (or, with controller 'Encoder', one dial
  // of a Stream Deck+) and connects it as the Stream Deck application would.
  // Returns the page, the inspector's uuid, the registration frame and a
  // `host` to talk to the page. initScript runs in the page before its own
  // scripts.
  async open({
    action,
    settings = {},
    language = 'en',
    uuid = 'PI' + Math.random().toString(16).slice(2),
    controller,
    initScript,
  }) {
    const page = await this.context.newPage();
    page.setDefaultTimeout(FRAME_WAIT_MS);
    if (initScript) await page.addInitScript(initScript);
    const errors = [];
    page.on('pageerror', (error) => errors.push(error));
    await page.goto(`${this.httpBase}/inspector/index.html`);
    const info = JSON.stringify({
      application: { font: '.AppleSystemUIFont', language, platform: 'windows', version: '6.4.0' },
      plugin: { uuid: 'com.brimcove.zorvaneplugin', version: '1.0.0.0' },
      devicePixelRatio: 1,
      devices: [
        controller === 'Encoder'
          ? { id: 'DEV1', name: 'Stream Deck +', size: { columns: 4, rows: 2 }, type: 7 }
          : { id: 'DEV1', name: 'Stream Deck', size: { columns: 5, rows: 3 }, type: 0 },
      ],
    });
    // A key's payload names no controller, as hosts from before the dials sent it.
    const where = { ...(controller && { controller }), coordinates: { column: 1, row: 0 } };
    const actionInfo = JSON.stringify({
      action,
      context: uuid,
      device: 'DEV1',
      payload: { settings, ...where },
    });
    const connection = this.nextConnection();
    await page.evaluate(
      ([port, id, event, i, a]) => window.connectElgatoStreamDeckSocket(port, id, event, i, a),
      [this.wsPort, uuid, REGISTER_EVENT, info, actionInfo],
    );
    const { socket, frames } = await connection;
    const registration = await frames.next();
    const host = {
      frames,
      send(event, payload) {
        socket.send(JSON.stringify({ action, event, context: uuid, payload }));
      },
      sendToPropertyInspector(payload) {
        this.send('sendToPropertyInspector', payload);
      },
      didReceiveSettings(newSettings) {
        socket.send(
          JSON.stringify({
            action,
            event: 'didReceiveSettings',
            context: uuid,
            device: 'DEV1',
            payload: { settings: newSettings, ...where },
          }),
        );
      },
    };
    return { page, uuid, registration, host, errors };
  }

  async screenshot(page, name) {
    fs.mkdirSync(SCREENSHOTS, { recursive: true });
    const file = path.join(SCREENSHOTS, name);
    await page.screenshot({ path: file, fullPage: true });
    return file;
  }

  async stop() {
    await this.context.close();
    for (const client of this.wss.clients) client.terminate();
    this.wss.close();
    this.http.close();
    fs.rmSync(this.profile, { recursive: true, force: true });
  }
}
