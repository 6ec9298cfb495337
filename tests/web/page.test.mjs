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
function desktopPicture(work, name, args) {
  headless(work.dir, [...args, '--screenshot', work.path(name)]);
  return decodePng(work.path(name));
}

const errorsOf = async (page) => (await messages(page)).filter((m) => m.error).map((m) => m.text);

// The page's first file input (Open) given a file; resolves once the page has told
// something about it: a new title or a new message.
async function openFile(page, file) {
  const before = await page.evaluate(() => [window.lvovTest.title(), window.lvovTest.messages().length]);
  await page.locator('input[type=file]').first().setInputFiles(file);
  await page.waitForFunction(
    ([title, count]) => window.lvovTest.title() !== title || window.lvovTest.messages().length > count,
    before,
  );
}

async function quickReset(page) {
  await page.click('#quick-reset');
}

test('a reset page runs the desktop machine frame for frame, typed keys included', async (t) => {
  await withPage(t, async (page, work) => {
    await quickReset(page);
    await runFrames(page, 100);
    const monitor = await canvasRgb(page);
    assert.equal(monitor.width, 256);
    assert.equal(monitor.height, 256);
    assert.ok(colourCount(monitor) >= 2, 'the monitor draws something');
    assert.equal(differingPixels(monitor, desktopPicture(work, 'm100.png', ['--frames', '100'])), 0);
    // 37 frames on the cursor has blinked, in the desktop's picture and the page's alike.
    await runFrames(page, 37);
    const later = await canvasRgb(page);
    const desktopLater = desktopPicture(work, 'm137.png', ['--frames', '137']);
    assert.equal(differingPixels(later, desktopLater), 0);

    // The same start again, typed keys, then frames: letters and a shifted character.
    const text = 'HELLO 1+2';
    await quickReset(page);
    await typeText(page, text);
    await runFrames(page, 40);
    const typed = await canvasRgb(page);
    const frames = 6 * text.length + 40;
    assert.equal(differingPixels(typed, desktopPicture(work, 'typed.png', ['--type', text, '--frames', '40'])), 0);
    const untyped = desktopPicture(work, 'untyped.png', ['--frames', String(frames)]);
    assert.ok(differingPixels(typed, untyped) > 100, 'the typed text is on the screen');
    assert.deepEqual(await errorsOf(page), []);
  });
});

test('a demo opened through Open runs, and its snapshot downloads as the desktop saves it; damaged files change nothing', async (t) => {
  await withPage(t, async (page, work) => {
    const demo = join(GAMES, 'kbdtest.lvt');
    const text = 'Lvov 8080';
    const frames = 60;
    await quickReset(page);
    await openFile(page, demo);
    assert.match(await page.evaluate(() => window.lvovTest.title()), /kbdtest/);
    await typeText(page, text);
    await runFrames(page, frames);
    headless(work.dir, [
      demo, '--type', text, '--frames', String(frames),
      '--screenshot', work.path('desktop.png'), '--save-snapshot', work.path('desktop.NevLVE'),
    ]);
    const picture = await canvasRgb(page);
    assert.equal(differingPixels(picture, decodePng(work.path('desktop.png'))), 0);
    if (PAGE_PICTURE) await page.screenshot({ path: PAGE_PICTURE, fullPage: true });

    const [download] = await Promise.all([page.waitForEvent('download'), page.click('#download-snapshot')]);
    assert.match(download.suggestedFilename(), /\.NevLVE$/);
    const saved = readFileSync(await download.path());
    const desktop = readFileSync(work.path('desktop.NevLVE'));
    assert.equal(saved.length, desktop.length, 'the snapshot sizes');
    assert.ok(saved.equals(desktop), 'the page snapshot equals the desktop one byte for byte');

    // A cut snapshot and random bytes named as a tape: each refused with a message.
    const hash = await stateHash(page);
    const title = await page.evaluate(() => window.lvovTest.title());
    writeFileSync(work.path('cut.NevLVE'), desktop.subarray(0, desktop.length >> 1));
    const noise = Buffer.alloc(3000);
    for (let i = 0, x = 12345; i < noise.length; ++i) noise[i] = (x = (x * 1103515245 + 12345) >>> 0) >>> 24;
    writeFileSync(work.path('noise.lvt'), noise);
    for (const name of ['cut.NevLVE', 'noise.lvt']) {
      const errors = (await errorsOf(page)).length;
      await openFile(page, work.path(name));
      const shown = await page.locator('#messages .message.error').allTextContents();
      assert.equal(shown.length, errors + 1, `one error shown for ${name}`);
      assert.match(shown.at(-1), new RegExp(name.replace('.', '\\.')));
      assert.equal(await stateHash(page), hash, `${name} left the machine as it was`);
      assert.equal(differingPixels(await canvasRgb(page), picture), 0, `${name} left the picture as it was`);
    }
    assert.equal(await page.evaluate(() => window.lvovTest.title()), title);
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
    // One frame at a time until the replay has told its end, so that no frame runs past it.
    const outcome = await page.evaluate(async () => {
      let done = null;
      window.lvovTest.replayDone().then((matched) => (done = matched));
      for (let frame = 0; frame < 2000 && done === null; ++frame) {
        window.lvovTest.runFrames(1);
        await new Promise((resolve) => setTimeout(resolve, 0));
      }
      return { done, hash: window.lvovTest.hash() };
    });
    assert.equal(outcome.done, 1);
    assert.equal(outcome.hash.toLowerCase(), expected.toLowerCase());
    assert.deepEqual(await errorsOf(page), []);
  });
});

test('QuickSave and QuickLoad bring back the saved machine', async (t) => {
  await withPage(t, async (page) => {
    await quickReset(page);
    await typeText(page, 'SAVED');
    await runFrames(page, 20);
    await page.click('#quick-save');
    const saved = { hash: await stateHash(page), picture: await canvasRgb(page) };
    await typeText(page, 'CHANGED');
    await runFrames(page, 20);
    assert.notEqual(await stateHash(page), saved.hash);
    await page.click('#quick-load');
    assert.equal(await stateHash(page), saved.hash);
    assert.equal(differingPixels(await canvasRgb(page), saved.picture), 0);
    assert.deepEqual(await errorsOf(page), []);
  });
});

test('rewind walks back one second while paused, and forward again to the pause', async (t) => {
  await withPage(t, async (page) => {
    // 200 frames from the page's start, the state of each of the first 150 kept; text
    // typed within the last second before the pause, so the two moments differ on the
    // screen.
    const hashes = [];
    for (let frame = 0; frame < 150; ++frame) {
      await runFrames(page, 1);
      hashes.push(await stateHash(page));
    }
    const second = await canvasRgb(page);
    await typeText(page, 'ABC');
    await runFrames(page, 200 - 150 - 3 * 6);
    await page.click('#pause');
    assert.equal(await page.evaluate(() => window.lvovTest.paused()), true);
    const paused = { hash: await stateHash(page), picture: await canvasRgb(page) };
    assert.ok(differingPixels(paused.picture, second) > 0, 'the typed text is on the screen');

    await page.keyboard.press('ArrowLeft');
    assert.equal(await stateHash(page), hashes[149], 'the state of frame 150');
    assert.equal(differingPixels(await canvasRgb(page), second), 0);
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
    const before = { hash: await stateHash(page), picture: await canvasRgb(page) };
    await page.reload();
    await page.evaluate(() => window.lvovTest.ready);
    assert.equal(await stateHash(page), before.hash);
    assert.equal(differingPixels(await canvasRgb(page), before.picture), 0);
    assert.deepEqual(await errorsOf(page), []);
  });
});
