// Zavozo Rero documents in a real browser: documents made by the project's EncryptAndDeliver are
// opened in headless Chromium, the password is typed, and the file or message that comes out must be
// exactly what went in; a wrong password must be refused; the page must load nothing from the network.
//   node cryptomail.e2e.mjs --modules DIR --maker PATH --chromium PATH
import { execFileSync } from 'node:child_process';
import { createHash, randomBytes } from 'node:crypto';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';
import assert from 'node:assert/strict';

const args = {};
for (let i = 2; i + 1 < process.argv.length; i += 2) args[process.argv[i].replace(/^--/, '')] = process.argv[i + 1];
const require = createRequire(path.join(args.modules, 'package.json'));
const { chromium } = require('playwright-core');

const work = fs.mkdtempSync(path.join(os.tmpdir(), 'qm-e2e-cm-'));
const failures = [];
function check(name, fn) {
  return fn().then(() => console.log(`ok   ${name}`), (e) => {
    failures.push(name);
    console.log(`FAIL ${name}: ${e && e.stack ? e.stack : e}`);
  });
}

// windows-1252 bytes of a string (the characters used below).
const CP1252_HIGH = { 0x20AC: 0x80, 0x201A: 0x82, 0x0192: 0x83, 0x201E: 0x84, 0x2026: 0x85, 0x2020: 0x86, 0x2021: 0x87,
  0x02C6: 0x88, 0x2030: 0x89, 0x0160: 0x8A, 0x2039: 0x8B, 0x0152: 0x8C, 0x017D: 0x8E, 0x2018: 0x91, 0x2019: 0x92,
  0x201C: 0x93, 0x201D: 0x94, 0x2022: 0x95, 0x2013: 0x96, 0x2014: 0x97, 0x02DC: 0x98, 0x2122: 0x99, 0x0161: 0x9A,
  0x203A: 0x9B, 0x0153: 0x9C, 0x017E: 0x9E, 0x0178: 0x9F };
function cp1252(text) {
  return Buffer.from([...text].map((ch) => {
    const c = ch.codePointAt(0);
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
    if (c in CP1252_HIGH) return CP1252_HIGH[c];
    throw new Error(`not in windows-1252: ${ch}`);
  }));
}

// Makes a document with the project's program; returns its path and the seconds encryption took.
function makeDocument(name, password, source) {
  const out = path.join(work, name);
  fs.mkdirSync(out);
  const seconds = execFileSync(args.maker, ['--password', password, '--out', out, '--name', 'E2E <Sender>', ...source],
    { encoding: 'utf8' });
  return { file: path.join(out, 'Encrypted.html'), seconds: Number(seconds) };
}

const sha256 = (buf) => createHash('sha256').update(buf).digest('hex');

const userDataDir = fs.mkdtempSync(path.join(os.tmpdir(), 'qm-e2e-profile-'));
const context = await chromium.launchPersistentContext(userDataDir, {
  executablePath: args.chromium,
  headless: true,
  acceptDownloads: true,
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
const page = context.pages()[0] || await context.newPage();
const remoteRequests = [];
page.on('request', (r) => { if (!/^(file|blob|data):/.test(r.url())) remoteRequests.push(r.url()); });
page.on('pageerror', (e) => failures.push(`page error: ${e.message}`));

async function open(doc) {
  await page.goto('file://' + doc.file, { timeout: 60000 });
  await page.waitForSelector('body[data-zr-state="ready"]', { timeout: 60000 });
}

// Types the password, presses Decrypt and waits for the outcome; returns the state and milliseconds.
async function decrypt(password) {
  await page.fill('#zrPassword', password);
  const t0 = Date.now();
  await page.click('#zrDecrypt');
  await page.waitForFunction(() => !['ready', 'busy'].includes(document.body.getAttribute('data-zr-state')),
    null, { timeout: 120000, polling: 50 });
  return { state: await page.getAttribute('body', 'data-zr-state'), ms: Date.now() - t0 };
}

async function saveDownload() {
  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#zrSave')]);
  const target = path.join(work, 'download-' + Date.now());
  await download.saveAs(target);
  return { name: download.suggestedFilename(), bytes: fs.readFileSync(target) };
}

try {
  await check('algorithms inside the page match the published known answers', async () => {
    const doc = makeDocument('kat', 'kat-password', ['--message-file', '/dev/null']);
    await open(doc);
    const r = await page.evaluate(() => {
      const Z = window.ZavozoRero;
      const hex = (a) => Array.from(a, (b) => b.toString(16).padStart(2, '0')).join('');
      const bytes = (h) => Uint8Array.from(h.match(/../g), (x) => parseInt(x, 16));
      const bf = (k, l, r) => Z.blowfishEncrypt(bytes(k), l, r).map((w) => w.toString(16).padStart(8, '0')).join('');
      return {
        sha1abc: hex(Z.sha1(new TextEncoder().encode('abc'))),
        sha1long: hex(Z.sha1(new TextEncoder().encode('abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq'))),
        sha1empty: hex(Z.sha1(new Uint8Array(0))),
        bf0: bf('0000000000000000', 0, 0),
        bf1: bf('0123456789abcdef', 0x11111111, 0x11111111),
        bf160: bf('f0e1d2c3b4a5968778695a4b3c2d1e0f00112233', 0xfedcba98 | 0, 0x76543210),
        b64: hex(Z.base64Decode('AAEC/w==')),
        cp: Z.cp1252Decode(Uint8Array.from([0x80, 0x9f, 0xe9, 0x81])),
      };
    });
    assert.equal(r.sha1abc, 'a9993e364706816aba3e25717850c26c9cd0d89d');
    assert.equal(r.sha1long, '84983e441c3bd26ebaae4aa1f95129e5e54670f1');
    assert.equal(r.sha1empty, 'da39a3ee5e6b4b0d3255bfef95601890afd80709');
    assert.equal(r.bf0, '4ef997456198dd78');
    assert.equal(r.bf1, '61f9c3802281b096');
    assert.equal(r.bf160, '10851c0e3858da9f');
    assert.equal(r.b64, '000102ff');
    assert.equal(r.cp, '\u20ac\u0178\u00e9\u0081');
  });

  await check('an empty file comes out as an empty file under its name', async () => {
    const src = path.join(work, 'empty.dat');
    fs.writeFileSync(src, Buffer.alloc(0));
    await open(makeDocument('empty', 'empty-pass', ['--file', src]));
    assert.equal((await decrypt('empty-pass')).state, 'file');
    const d = await saveDownload();
    assert.equal(d.name, 'empty.dat');
    assert.equal(d.bytes.length, 0);
  });

  await check('a binary file of 3 MiB comes out byte for byte, with a non-ASCII name', async () => {
    const bytes = randomBytes(3 * 1024 * 1024 + 17);
    const src = path.join(work, 'Daten M\u00fcller.bin');
    fs.writeFileSync(src, bytes);
    // A non-ASCII password: the maker turns it into windows-1252, as the window does, and so must the page.
    await open(makeDocument('binary', 'binary pass \u00e9\u20ac', ['--file', src]));
    assert.equal((await decrypt('binary pass \u00e9\u20ac')).state, 'file');
    const d = await saveDownload();
    assert.equal(d.name, 'Daten M\u00fcller.bin');
    assert.equal(d.bytes.length, bytes.length);
    assert.equal(sha256(d.bytes), sha256(bytes));
  });

  const text = 'Gr\u00fc\u00dfe aus K\u00f6ln \u2013 \u201eZitat\u201c \u2026 \u20ac 5, \u0160\u0161\u017d\u017e\u0178 \u0153 \u00bd \u00a9\r\n' +
    'zweite Zeile\twith tab <b>not bold</b> & ampersand\r\n\r\nEnde \u2122';
  const messageFile = path.join(work, 'message.txt');
  fs.writeFileSync(messageFile, cp1252(text));
  const messageDoc = makeDocument('message', 'message-pass', ['--message-file', messageFile]);

  await check('a wrong password is refused with a clear message and nothing decrypted', async () => {
    await open(messageDoc);
    assert.equal((await decrypt('message-pasS')).state, 'wrong-password');
    assert.match(await page.textContent('#zrStatus'), /^Wrong password/);
    assert.equal(await page.isVisible('#zrMessage'), false);
    assert.equal(await page.isVisible('#zrSave'), false);
  });

  await check('a windows-1252 message comes out exactly, line breaks included', async () => {
    await open(messageDoc);
    assert.equal((await decrypt('message-pass')).state, 'message');
    assert.equal(await page.textContent('#zrMessage'), text);
    assert.equal(await page.isVisible('#zrAppletNotice'), false);
    assert.match(await page.textContent('td'), /Name:/);
    assert.equal(await page.title(), 'Brelkan Quillmar II CryptoMail Message');
  });

  await check('a 32 MiB file decrypts without freezing the page', async () => {
    const bytes = randomBytes(32 * 1024 * 1024);
    const src = path.join(work, 'big.bin');
    fs.writeFileSync(src, bytes);
    const doc = makeDocument('big', 'big-password', ['--file', src]);
    const t0 = Date.now();
    await open(doc);
    const loadMs = Date.now() - t0;
    // Longest pause of a 20 ms timer while the page decrypts.
    // A 20 ms timer counts how often the page got to run other work while it decrypted, and the
    // longest pause between two of its ticks.
    await page.evaluate(() => {
      window.zrLongestPause = 0;
      window.zrTicks = 0;
      let last = performance.now();
      window.zrTimer = setInterval(() => {
        const now = performance.now();
        window.zrLongestPause = Math.max(window.zrLongestPause, now - last);
        window.zrTicks += 1;
        last = now;
      }, 20);
    });
    const r = await decrypt('big-password');
    const { pause, ticks } = await page.evaluate(() => {
      clearInterval(window.zrTimer);
      return { pause: window.zrLongestPause, ticks: window.zrTicks };
    });
    const pageMs = Number(await page.getAttribute('body', 'data-zr-ms'));
    assert.equal(r.state, 'file');
    const d = await saveDownload();
    assert.equal(sha256(d.bytes), sha256(bytes));
    console.log(`info 32 MiB: encryption ${doc.seconds.toFixed(2)} s, document ${(fs.statSync(doc.file).size / 1048576).toFixed(1)} MiB, ` +
      `page load ${loadMs} ms, decryption ${pageMs} ms in the page (${r.ms} ms from click), ` +
      `${ticks} timer ticks, longest pause ${pause.toFixed(0)} ms`);
    // The decryption works in slices and lets the page run between them: a page that decrypted in one
    // go would tick once or not at all. (How long the pauses are depends on how busy the machine is;
    // the speed belongs to the benchmarks, not to this test.)
    assert.ok(ticks >= 10, `the page ran its timers only ${ticks} times in ${pageMs} ms of decryption`);
  });

  await check('the page asked the network for nothing', async () => {
    assert.deepEqual(remoteRequests, []);
  });
} finally {
  await context.close();
  fs.rmSync(work, { recursive: true, force: true });
  fs.rmSync(userDataDir, { recursive: true, force: true });
}

if (failures.length) {
  console.log(`${failures.length} failed: ${failures.join('; ')}`);
  process.exit(1);
}
console.log('all passed');
