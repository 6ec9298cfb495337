// What the page tests share: the site served from 127.0.0.1, one headless Chromium,
// pages opened with the test hook, the desktop program run headless for the reference
// results, and the pictures of both read as RGB bytes.
import { spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { createServer } from 'node:http';
import { tmpdir } from 'node:os';
import { extname, join, normalize, sep } from 'node:path';
import { inflateSync } from 'node:zlib';
import { chromium } from 'playwright-core';

export const SITE = process.env.SITE_DIR;
export const NEVEMULATOR = process.env.NEVEMULATOR;
export const GAMES = process.env.GAMES_DIR;
export const PAGE_PICTURE = process.env.PAGE_PICTURE;

// Frames a typed key is held and then released for, as the desktop's --type does.
export const TYPE_HOLD_FRAMES = 3;
export const TYPE_RELEASE_FRAMES = 3;

const TYPES = {
    '.html': 'text/html; charset=utf-8',
    '.js': 'text/javascript; charset=utf-8',
    '.wasm': 'application/wasm',
    '.css': 'text/css; charset=utf-8',
    '.png': 'image/png',
    '.json': 'application/json',
};

// A static server of the site on a free port of 127.0.0.1.
export async function serveSite(root) {
    const server = createServer((request, response) => {
        const path = decodeURIComponent(new URL(request.url, 'http://x').pathname);
        const file = normalize(join(root, path.endsWith('/') ? path + 'index.html' : path));
        let body;
        try {
            if (!file.startsWith(normalize(root) + sep)) throw new Error('outside the site');
            body = readFileSync(file);
        } catch {
            response.writeHead(404).end();
            return;
        }
        response.writeHead(200, {
            'Content-Type': TYPES[extname(file)] ?? 'application/octet-stream',
            'Cache-Control': 'no-store',
        });
        response.end(body);
    });
    await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
    return { url: `http://127.0.0.1:${server.address().port}/`, close: () => server.close() };
}

// Debian's Chromium, headless, in a profile of its own that is removed at the close.
export async function launchBrowser() {
    return chromium.launch({
        executablePath: '/usr/bin/chromium',
        headless: false, // the mode is the argument below
        args: [
            '--headless=new',
            '--no-sandbox',
            '--disable-gpu',
            '--disable-quic',
            '--no-first-run',
            '--disable-background-networking',
            '--disable-component-update',
            '--disable-sync',
        ],
    });
}

// A page of the site with the test hook in a fresh context (its own IndexedDB), once
// the session has started. Errors of the page's scripts fail the test that opened it.
export async function openPage(browser, siteUrl, viewport = { width: 1280, height: 720 }) {
    const context = await browser.newContext({ viewport, acceptDownloads: true });
    const page = await context.newPage();
    page.scriptErrors = [];
    page.on('pageerror', (error) => page.scriptErrors.push(String(error)));
    await page.goto(siteUrl + '?test');
    await page.evaluate(() => window.lvovTest.ready);
    return page;
}

// The machine's picture on the page: the first canvas, as R, G, B bytes row after row.
export async function canvasRgb(page) {
    const { width, height, base64 } = await page.evaluate(() => {
        const canvas = document.querySelector('canvas');
        const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
        let text = '';
        for (let i = 0; i < data.length; i += 4) text += String.fromCharCode(data[i], data[i + 1], data[i + 2]);
        return { width: canvas.width, height: canvas.height, base64: btoa(text) };
    });
    return { width, height, rgb: Buffer.from(base64, 'base64') };
}

export const runFrames = (page, n) => page.evaluate((count) => window.lvovTest.runFrames(count), n);
export const stateHash = (page) => page.evaluate(() => window.lvovTest.hash());
export const messages = (page) => page.evaluate(() => window.lvovTest.messages());

// The key codes (KeyboardEvent.code) of typed text, as the desktop's --type presses them
// on a US layout: each stroke is pressed in order and released in reverse.
const SHIFTED_DIGITS = ')!@#$%^&*(';
const PUNCTUATION = {
    ' ': ['Space'], '\n': ['Enter'], '-': ['Minus'], _: ['Shift', 'Minus'], '/': ['Slash'], '?': ['Shift', 'Slash'],
    '`': ['Backquote'], '~': ['Shift', 'Backquote'], ';': ['Semicolon'], ':': ['Shift', 'Semicolon'],
    '=': ['Equal'], '+': ['Shift', 'Equal'], ',': ['Comma'], '<': ['Shift', 'Comma'], '.': ['Period'],
    '>': ['Shift', 'Period'], '[': ['BracketLeft'], '{': ['Shift', 'BracketLeft'], '\\': ['Backslash'],
    '|': ['Shift', 'Backslash'], ']': ['BracketRight'], '}': ['Shift', 'BracketRight'], "'": ['Quote'],
    '"': ['Shift', 'Quote'],
};

export function keystrokes(text) {
    return [...text].map((c) => {
        if (/[a-z]/i.test(c)) return ['Key' + c.toUpperCase()];
        if (/[0-9]/.test(c)) return ['Digit' + c];
        const shifted = SHIFTED_DIGITS.indexOf(c);
        if (shifted >= 0) return ['Shift', 'Digit' + shifted];
        if (PUNCTUATION[c]) return PUNCTUATION[c];
        throw new Error(`no key types ${JSON.stringify(c)}`);
    });
}

// Types text with the page's keyboard as --type does: keys down, TYPE_HOLD_FRAMES
// frames, keys up, TYPE_RELEASE_FRAMES frames.
export async function typeText(page, text) {
    for (const keys of keystrokes(text)) {
        for (const key of keys) await page.keyboard.down(key);
        await runFrames(page, TYPE_HOLD_FRAMES);
        for (const key of [...keys].reverse()) await page.keyboard.up(key);
        await runFrames(page, TYPE_RELEASE_FRAMES);
    }
}

// A folder of its own for one test, removed with `remove()`.
export function scratch() {
    const dir = mkdtempSync(join(tmpdir(), 'nev-page-'));
    return { dir, path: (name) => join(dir, name), remove: () => rmSync(dir, { recursive: true, force: true }) };
}

// The desktop program, headless, over an empty data folder of its own; fails on a
// non-zero exit. Returns what it printed.
export function headless(dataDir, args) {
    const run = spawnSync(NEVEMULATOR, ['--headless', '--dir', dataDir, ...args], { encoding: 'utf8' });
    if (run.error) throw run.error;
    if (run.status !== 0) {
        throw new Error(`nevemulator ${args.join(' ')} exited ${run.status}: ${run.stderr}`);
    }
    return run.stdout;
}

// A PNG of 8-bit RGB or RGBA pixels, not interlaced, as R, G, B bytes row after row.
export function decodePng(file) {
    const png = readFileSync(file);
    let at = 8;
    let width = 0;
    let height = 0;
    let channels = 0;
    const data = [];
    while (at < png.length) {
        const length = png.readUInt32BE(at);
        const type = png.toString('latin1', at + 4, at + 8);
        const body = png.subarray(at + 8, at + 8 + length);
        if (type === 'IHDR') {
            width = body.readUInt32BE(0);
            height = body.readUInt32BE(4);
            const [depth, colour, , , interlace] = body.subarray(8, 13);
            channels = { 2: 3, 6: 4 }[colour];
            if (depth !== 8 || !channels || interlace !== 0) {
                throw new Error(`${file}: a PNG this reader does not take`);
            }
        } else if (type === 'IDAT') {
            data.push(body);
        }
        at += 12 + length;
    }
    const raw = inflateSync(Buffer.concat(data));
    const stride = width * channels;
    const pixels = Buffer.alloc(height * stride);
    for (let y = 0; y < height; ++y) {
        const filter = raw[y * (stride + 1)];
        const line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
        for (let x = 0; x < stride; ++x) {
            const left = x >= channels ? pixels[y * stride + x - channels] : 0;
            const up = y > 0 ? pixels[(y - 1) * stride + x] : 0;
            const corner = x >= channels && y > 0 ? pixels[(y - 1) * stride + x - channels] : 0;
            const p = left + up - corner;
            const nearest =
                Math.abs(p - left) <= Math.abs(p - up) && Math.abs(p - left) <= Math.abs(p - corner)
                    ? left
                    : Math.abs(p - up) <= Math.abs(p - corner)
                        ? up
                        : corner;
            const predictor = [0, left, up, (left + up) >> 1, nearest][filter];
            pixels[y * stride + x] = (line[x] + predictor) & 0xff;
        }
    }
    const rgb = Buffer.alloc(width * height * 3);
    for (let i = 0, o = 0; i < pixels.length; i += channels) {
        rgb[o++] = pixels[i];
        rgb[o++] = pixels[i + 1];
        rgb[o++] = pixels[i + 2];
    }
    return { width, height, rgb };
}

// Pixels that differ between two pictures of the same size.
export function differingPixels(a, b) {
    if (a.width !== b.width || a.height !== b.height) throw new Error('pictures of different sizes');
    let count = 0;
    for (let i = 0; i < a.rgb.length; i += 3) {
        if (a.rgb[i] !== b.rgb[i] || a.rgb[i + 1] !== b.rgb[i + 1] || a.rgb[i + 2] !== b.rgb[i + 2]) ++count;
    }
    return count;
}

// Distinct colours of a picture.
export function colourCount(picture) {
    const seen = new Set();
    for (let i = 0; i < picture.rgb.length; i += 3) seen.add(picture.rgb.readUIntBE(i, 3));
    return seen.size;
}
