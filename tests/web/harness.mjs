// What the page tests share: the site served from 127.0.0.1, one headless Chromium,
// pages opened with the test hook, the desktop program run headless for the reference
// results, and the pictures of both read as RGB bytes.
import { spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { createServer } from 'node:http';
import { tmpdir } from 'node:os';
import { extname, join, normalize, sep } from 'node:path';
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
    await context.addInitScript(`window.rgbOf = ${rgbOf}`);
    const page = await context.newPage();
    page.scriptErrors = [];
    page.on('pageerror', (error) => page.scriptErrors.push(String(error)));
    await page.goto(siteUrl + '?test');
    await page.evaluate(() => window.lvovTest.ready);
    return page;
}

// The machine's picture on the page: the first canvas, as R, G, B bytes row after row.
export async function canvasRgb(page) {
    return fromPage(await page.evaluate(() => window.rgbOf(document.querySelector('canvas'))));
}
const fromPage = ({ width, height, base64 }) => ({ width, height, rgb: Buffer.from(base64, 'base64') });
// In the page: a canvas's pixels as R, G, B bytes in base64 (one string crosses to node
// far faster than an array of numbers).
function rgbOf(canvas) {
    const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    let text = '';
    for (let i = 0; i < data.length; i += 4) text += String.fromCharCode(data[i], data[i + 1], data[i + 2]);
    return { width: canvas.width, height: canvas.height, base64: btoa(text) };
}

export const runFrames = (page, n) => page.evaluate((count) => window.lvovTest.runFrames(count), n);
export const stateHash = (page) => page.evaluate(() => window.lvovTest.hash());
export const messages = (page) => page.evaluate(() => window.lvovTest.messages());

// The key codes (KeyboardEvent.code) of typed text as the desktop's --type presses them
// on a US layout (letters, digits, space, Enter, '+'): each stroke pressed in order and
// released in reverse.
export function keystrokes(text) {
    return [...text].map((c) => {
        if (/[a-z]/i.test(c)) return ['Key' + c.toUpperCase()];
        if (/[0-9]/.test(c)) return ['Digit' + c];
        const keys = { ' ': ['Space'], '\n': ['Enter'], '+': ['Shift', 'Equal'] }[c];
        if (!keys) throw new Error(`no key here types ${JSON.stringify(c)}`);
        return keys;
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

// A PNG file's pixels as R, G, B bytes row after row, decoded by the browser as they are
// stored (no colour conversion).
export async function decodePng(page, file) {
    const base64 = readFileSync(file).toString('base64');
    return fromPage(
        await page.evaluate(async (png) => {
            const bytes = Uint8Array.from(atob(png), (c) => c.charCodeAt(0));
            const bitmap = await createImageBitmap(new Blob([bytes], { type: 'image/png' }), {
                colorSpaceConversion: 'none',
                premultiplyAlpha: 'none',
            });
            const canvas = new OffscreenCanvas(bitmap.width, bitmap.height);
            canvas.getContext('2d').drawImage(bitmap, 0, 0);
            return window.rgbOf(canvas);
        }, base64),
    );
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
