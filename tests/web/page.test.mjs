// The page in headless Chromium. Frames run only through the test hook, so every picture
// and state is taken after a known number of frames, and each is compared with what the
// desktop program makes headless from the same start: a reset with the boot run, then
// the file, the typed keys and the frames.
import assert from 'node:assert/strict';
import { readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { after, before, test } from 'node:test';
import {
    GAMES,
    PAGE_PICTURE,
    SITE,
    canvasRgb,
    colourCount,
    decodePng,
    differingPixels,
    headless,
    launchBrowser,
    messages,
    openPage,
    runFrames,
    scratch,
    serveSite,
    stateHash,
    typeText,
} from './harness.mjs';

let site;
let browser;

before(async () => {
    site = await serveSite(SITE);
    browser = await launchBrowser();
});

after(async () => {
    await browser?.close();
    site?.close();
});

// A page with the test hook and a scratch folder for one test; both go at its end,
// and a script error of the page fails the test.
async function withPage(t, body) {
    const page = await openPage(browser, site.url);
    const work = scratch();
    t.after(async () => {
        await page.context().close();
        work.remove();
    });
    await body(page, work);
    assert.deepEqual(page.scriptErrors, [], 'errors thrown by the page');
}

// The desktop's picture after a headless run with these arguments.
function desktopPicture(page, work, name, args) {
    headless(work.dir, [...args, '--screenshot', work.path(name)]);
    return decodePng(page, work.path(name));
}

const errorsOf = async (page) => (await messages(page)).filter((m) => m.error).map((m) => m.text);

// The page's first file input (Open) given a file; resolves once the page has taken it:
// the machine changed or a message came (the file is read asynchronously).
async function openFile(page, file) {
    const before = await page.evaluate(() => [window.lvovTest.hash(), window.lvovTest.messages().length]);
    await page.locator('input[type=file]').first().setInputFiles(file);
    await page.waitForFunction(
        ([hash, count]) => window.lvovTest.hash() !== hash || window.lvovTest.messages().length > count,
        before,
    );
}

// The state as the page downloads it (Download snapshot).
async function snapshotOf(page) {
    const [download] = await Promise.all([page.waitForEvent('download'), page.click('#download-snapshot')]);
    assert.match(download.suggestedFilename(), /\.NevLVE$/);
    return readFileSync(await download.path());
}

async function quickReset(page) {
    await page.click('#quick-reset');
}

// The first pixel row in which two pictures differ (their height when none does).
function firstDifferingRow(a, b) {
    const row = a.width * 3;
    for (let y = 0; y < a.height; ++y) {
        if (!a.rgb.subarray(y * row, (y + 1) * row).equals(b.rgb.subarray(y * row, (y + 1) * row))) return y;
    }
    return a.height;
}

test('the page shows the monitor, and once reset runs the desktop machine frame for frame', async (t) => {
    await withPage(t, async (page, work) => {
        // The page's own start is a full reset, the firmware starting as the machine runs;
        // by 100 frames its banner is the booted desktop machine's, down to the line where
        // the cursor blinks (the two starts need not agree on the blink).
        const desktop = await desktopPicture(page, work, 'm100.png', ['--frames', '100']);
        const desktopLater = await desktopPicture(page, work, 'm110.png', ['--frames', '110']);
        const cursorRow = firstDifferingRow(desktop, desktopLater);
        assert.ok(cursorRow > 8 && cursorRow < 256, `the cursor blinks below the banner (row ${cursorRow})`);
        await runFrames(page, 100);
        const own = await canvasRgb(page);
        assert.equal(own.width, 256);
        assert.equal(own.height, 256);
        assert.ok(colourCount(own) >= 2, 'the monitor draws something');
        assert.ok(firstDifferingRow(own, desktop) >= cursorRow, 'the banner is the desktop one');

        // After a reset, the same frames give the same pictures, cursor and all.
        await quickReset(page);
        await runFrames(page, 100);
        assert.equal(differingPixels(await canvasRgb(page), desktop), 0);
        await runFrames(page, 10);
        assert.equal(differingPixels(await canvasRgb(page), desktopLater), 0);

        // The same start again, typed keys, then frames: letters and a shifted character.
        const text = 'HELLO 1+2';
        await quickReset(page);
        await typeText(page, text);
        await runFrames(page, 40);
        const typed = await canvasRgb(page);
        const frames = 6 * text.length + 40;
        const desktopTyped = await desktopPicture(page, work, 'typed.png', ['--type', text, '--frames', '40']);
        assert.equal(differingPixels(typed, desktopTyped), 0);
        const untyped = await desktopPicture(page, work, 'untyped.png', ['--frames', String(frames)]);
        assert.ok(differingPixels(typed, untyped) > 100, 'the typed text is on the screen');
        assert.deepEqual(await errorsOf(page), []);
    });
});

test('a demo opened runs; its snapshot is the desktop one; damaged files change nothing', async (t) => {
    await withPage(t, async (page, work) => {
        const demo = join(GAMES, 'kbdtest.lvt');
        const text = 'Lvov 8080';
        const frames = 60;
        await quickReset(page);
        await openFile(page, demo);
        await typeText(page, text);
        await runFrames(page, frames);
        headless(work.dir, [
            demo, '--type', text, '--frames', String(frames),
            '--screenshot', work.path('desktop.png'), '--save-snapshot', work.path('desktop.NevLVE'),
        ]);
        const picture = await canvasRgb(page);
        assert.equal(differingPixels(picture, await decodePng(page, work.path('desktop.png'))), 0);
        if (PAGE_PICTURE) {
            await page.evaluate(() => document.activeElement?.blur());  // no button drawn as pressed
            await page.screenshot({ path: PAGE_PICTURE, fullPage: true });
        }

        const saved = await snapshotOf(page);
        const desktop = readFileSync(work.path('desktop.NevLVE'));
        assert.equal(saved.length, desktop.length, 'the snapshot sizes');
        assert.ok(saved.equals(desktop), 'the page snapshot equals the desktop one byte for byte');

        // A cut snapshot and random bytes named as a tape: each refused with a message.
        const hash = await stateHash(page);
        writeFileSync(work.path('cut.NevLVE'), desktop.subarray(0, desktop.length >> 1));
        const noise = Buffer.alloc(3000);
        for (let i = 0, x = 12345; i < noise.length; ++i) {
            x = (Math.imul(x, 1103515245) + 12345) >>> 0;
            noise[i] = x >>> 24;
        }
        writeFileSync(work.path('noise.lvt'), noise);
        for (const name of ['cut.NevLVE', 'noise.lvt']) {
            const errors = (await errorsOf(page)).length;
            await openFile(page, work.path(name));
            const told = await errorsOf(page);
            assert.equal(told.length, errors + 1, `one error told for ${name}`);
            assert.ok(told.at(-1).includes(name), `the error names ${name}: ${told.at(-1)}`);
            const shown = await page.locator('#messages .message.error').last().textContent();
            assert.ok(shown.includes(told.at(-1)), 'the error is on the page');
            assert.equal(await stateHash(page), hash, `${name} left the machine as it was`);
            assert.equal(differingPixels(await canvasRgb(page), picture), 0, `${name} left the picture as it was`);
        }
    });
});

test('a recording made by the desktop replays in the page to the recorded state', async (t) => {
    await withPage(t, async (page, work) => {
        const recording = work.path('kbd.NevLVR');
        headless(work.dir, ['--record', recording, join(GAMES, 'kbdtest.lvt'), '--type', 'HELLO\n', '--frames', '300']);
        const printed = headless(work.dir, ['--replay', recording]);
        const expected = printed.match(/state hash ([0-9A-Fa-f]{16})/)?.[1];
        assert.ok(expected, `the desktop's replay printed a hash: ${printed}`);

        await page.locator('#replay-file').setInputFiles(recording);
        await page.waitForFunction(() => document.getElementById('status').textContent.includes('replaying'));
        // One frame at a time while the replay plays, so that no frame runs past its end.
        const outcome = await page.evaluate(async () => {
            const done = window.lvovTest.replayDone();
            const playing = () => document.getElementById('status').textContent.includes('replaying');
            for (let frame = 0; frame < 5000 && playing(); ++frame) window.lvovTest.runFrames(1);
            return { done: await done, hash: window.lvovTest.hash() };
        });
        assert.equal(outcome.done, 1);
        assert.equal(outcome.hash.toLowerCase(), expected.toLowerCase());
        assert.deepEqual(await errorsOf(page), []);
    });
});

// A snapshot load leaves the cycles the machine ran last where they were (no snapshot
// holds them, and the next frame counts them afresh), so the states compared across a
// load are the snapshots the page downloads, with the pictures.
test('QuickSave and QuickLoad bring back the saved machine', async (t) => {
    await withPage(t, async (page) => {
        await quickReset(page);
        await typeText(page, 'SAVED');
        await runFrames(page, 20);
        await page.click('#quick-save');
        const saved = { snapshot: await snapshotOf(page), picture: await canvasRgb(page) };
        await typeText(page, 'CHANGED');
        await runFrames(page, 20);
        assert.ok(!(await snapshotOf(page)).equals(saved.snapshot), 'the machine changed after the save');
        await page.click('#quick-load');
        assert.ok((await snapshotOf(page)).equals(saved.snapshot), 'the saved state is back');
        assert.equal(differingPixels(await canvasRgb(page), saved.picture), 0);
        assert.deepEqual(await errorsOf(page), []);
    });
});

test('rewind walks back one second while paused, and forward again to the pause', async (t) => {
    await withPage(t, async (page) => {
        // 200 frames from the page's start, text typed within the last second before the
        // pause, so that the two moments differ on the screen.
        await runFrames(page, 150);
        const second = { hash: await stateHash(page), picture: await canvasRgb(page) };
        await typeText(page, 'ABC');
        await runFrames(page, 200 - 150 - 3 * 6);
        await page.click('#pause');
        assert.equal(await page.evaluate(() => window.lvovTest.paused()), true);
        const paused = { hash: await stateHash(page), picture: await canvasRgb(page) };
        assert.ok(differingPixels(paused.picture, second.picture) > 0, 'the typed text is on the screen');

        await page.keyboard.press('ArrowLeft');
        assert.equal(await stateHash(page), second.hash, 'the state of frame 150');
        assert.equal(differingPixels(await canvasRgb(page), second.picture), 0);
        await page.keyboard.press('ArrowRight');
        assert.equal(await stateHash(page), paused.hash);
        assert.equal(differingPixels(await canvasRgb(page), paused.picture), 0);
        assert.deepEqual(await errorsOf(page), []);
    });
});

test('a reload brings back the session from the close slot', async (t) => {
    await withPage(t, async (page) => {
        await quickReset(page);
        await typeText(page, 'KEPT');
        await runFrames(page, 30);
        const before = { snapshot: await snapshotOf(page), picture: await canvasRgb(page) };
        await page.reload();
        await page.evaluate(() => window.lvovTest.ready);
        assert.equal(differingPixels(await canvasRgb(page), before.picture), 0, 'the picture is back');
        assert.ok((await snapshotOf(page)).equals(before.snapshot), 'the state is back');
        assert.deepEqual(await errorsOf(page), []);
    });
});
