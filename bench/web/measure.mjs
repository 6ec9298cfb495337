// Measures the page against its goals and prints the figures (make bench-web):
//   size     the site (build-web/site), each file gzip -9 and the sum
//   picture  first picture after navigation from a local server: the first animation
//            frame (its timestamp, ms since navigation start) at which the page's first
//            canvas holds non-black pixels (the machine's power-on screen), and the first
//            at which it holds two colours (the monitor's text); a fresh profile each run
//            (cold cache, empty storage), then a reload in the same profile (warm cache,
//            session restored)
//   speed    the interpreter on CP/M programs (CPUTEST, the first cycles of the 8080
//            exerciser): native build/cpm-speed, the same code as WebAssembly in headless
//            Chromium and in node; emulated cycles per second
//   cpu      CPU (utime+stime, % of one core) while the monitor idles: the desktop program
//            in a window under Xvfb with openbox, and the page (no ?test) in Chromium,
//            by kind of process; then, for comparison, reference pages in the same browser
//
// node bench/web/measure.mjs [--only size,picture,speed,cpu] [--runs N] [--cpu-runs N]
//     [--idle-seconds S] [--warmup-seconds S] [--exerciser-cycles N] [--page-display headless|xvfb|both]
//     [--cpu-reference 0|1] [--site DIR] [--json FILE]
// --site names the site's folder inside build-web (a changed copy of the page can be
// measured beside the built one).
// Chromium is Debian's /usr/bin/chromium, driven by playwright-core, each launch with a
// fresh --user-data-dir. The public 8080 diagnostics are read from LVOV_CPU_TESTS or
// /work/shared/cpu-tests; without them the speed part is skipped.
import { execFileSync, spawn } from 'node:child_process';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const require = createRequire(import.meta.url);
const { chromium } = require('playwright-core');

const ROOT = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const NATIVE = path.join(ROOT, 'build');
const WEB = path.join(ROOT, 'build-web');
const CHROMIUM_ARGS = ['--headless=new', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync'];
const TICK = Number(execFileSync('getconf', ['CLK_TCK']).toString()) || 100;

// ---- Options.
const opts = { only: 'size,picture,speed,cpu', runs: 7, 'cpu-runs': 3, 'idle-seconds': 20, 'warmup-seconds': 10,
    'exerciser-cycles': 5e9, 'page-display': 'headless', 'cpu-reference': 1, site: 'site', json: '' };
for (let i = 2; i < process.argv.length; i += 2) {
    const name = process.argv[i].replace(/^--/, '');
    if (!(name in opts) || i + 1 >= process.argv.length) {
        console.error('usage: measure.mjs ' + Object.keys(opts).map((k) => `[--${k} ${opts[k]}]`).join(' '));
        process.exit(2);
    }
    opts[name] = typeof opts[name] === 'number' ? Number(process.argv[i + 1]) : process.argv[i + 1];
}
const parts = new Set(opts.only.split(','));
const results = { machine: machine() };

// ---- Small helpers.
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
const median = (xs) => {
    const s = [...xs].sort((a, b) => a - b);
    return s.length % 2 ? s[(s.length - 1) / 2] : (s[s.length / 2 - 1] + s[s.length / 2]) / 2;
};
const spread = (xs, digits = 1) =>
    `median ${median(xs).toFixed(digits)} (min ${Math.min(...xs).toFixed(digits)}, max ${Math.max(...xs).toFixed(digits)}, n=${xs.length})`;
function machine() {
    const cpu = fs.readFileSync('/proc/cpuinfo', 'utf8').match(/^model name\s*:\s*(.*)$/m);
    return { cpus: os.cpus().length, model: cpu ? cpu[1] : os.cpus()[0].model, load: os.loadavg().map((l) => l.toFixed(2)).join(' ') };
}
function need(file, hint) {
    if (!fs.existsSync(file)) throw new Error(`${path.relative(ROOT, file)} is missing (${hint})`);
    return file;
}

// Processes: CPU time of a process tree from /proc. utime+stime of every live process plus
// cutime+cstime (the children it has reaped), so a process that ends inside the window
// still counts, through its parent.
function procTable() {
    const table = new Map();
    for (const name of fs.readdirSync('/proc')) {
        if (!/^\d+$/.test(name)) continue;
        try {
            const stat = fs.readFileSync(`/proc/${name}/stat`, 'utf8');
            const f = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
            const comm = stat.slice(stat.indexOf('(') + 1, stat.lastIndexOf(')'));
            table.set(Number(name), { comm, ppid: Number(f[1]), ticks: Number(f[11]) + Number(f[12]) + Number(f[13]) + Number(f[14]) });
        } catch {
            // gone meanwhile
        }
    }
    return table;
}
function treeTicks(table, roots) {
    let ticks = 0;
    const seen = new Set();
    const todo = [...roots];
    while (todo.length) {
        const pid = todo.pop();
        if (seen.has(pid) || !table.has(pid)) continue;
        seen.add(pid);
        ticks += table.get(pid).ticks;
        for (const [child, p] of table) if (p.ppid === pid) todo.push(child);
    }
    return { ticks, count: seen.size, pids: seen };
}
// The browser's main process: the child of this node process that runs chromium.
function browserPid() {
    for (const [pid, p] of procTable()) if (p.ppid === process.pid && /chrom/.test(p.comm)) return pid;
    throw new Error('no chromium process under this one');
}

// A static server for build-web (the site at /site/, the speed page at /bench-web/): the
// same python3 http.server that `make serve-web` runs.
async function startServer() {
    const child = spawn('python3', ['-u', '-m', 'http.server', '--bind', '127.0.0.1', '--directory', WEB, '0'],
        { stdio: ['ignore', 'pipe', 'ignore'] });
    const port = await new Promise((resolve, reject) => {
        let text = '';
        child.stdout.on('data', (d) => {
            text += d;
            const m = text.match(/port (\d+)/);
            if (m) resolve(Number(m[1]));
        });
        child.on('exit', (code) => reject(new Error(`the web server ended (${code})`)));
        setTimeout(() => reject(new Error('the web server did not start')), 10000);
    });
    child.stdout.resume();
    return { child, base: `http://127.0.0.1:${port}` };
}

async function launch(extra = {}) {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'lvov-measure-'));
    const context = await chromium.launchPersistentContext(dir, {
        executablePath: '/usr/bin/chromium', headless: true, args: CHROMIUM_ARGS, ...extra });
    const page = context.pages()[0] || (await context.newPage());
    const close = async () => {
        await context.close();
        fs.rmSync(dir, { recursive: true, force: true });
    };
    return { context, page, close };
}

// ---- 1. Size.
function measureSize() {
    const site = need(path.join(WEB, opts.site), 'make web');
    const files = [];
    const walk = (dir) => {
        for (const e of fs.readdirSync(dir, { withFileTypes: true })) {
            const p = path.join(dir, e.name);
            if (e.isDirectory()) walk(p);
            else files.push(p);
        }
    };
    walk(site);
    let raw = 0;
    let gz = 0;
    console.log('\n== Site size (each file gzip -9 -n) ==');
    for (const f of files.sort()) {
        const size = fs.statSync(f).size;
        const packed = execFileSync('gzip', ['-9', '-n', '-c', f], { maxBuffer: 1 << 28 }).length;
        raw += size;
        gz += packed;
        console.log(`  ${path.relative(site, f).padEnd(24)} ${String(size).padStart(9)} B  gzip ${String(packed).padStart(8)} B`);
    }
    console.log(`  total ${raw} B; gzip ${gz} B = ${(gz / 1000).toFixed(1)} kB (${(gz / 1024).toFixed(1)} KiB); goal at most 300 kB: ${gz <= 300000 ? 'met' : 'MISSED'}`);
    results.size = { raw, gzip: gz };
}

// ---- 2. First picture.
// Installed before the page's own scripts: each animation frame copies the first canvas
// into a canvas of its own (drawImage, which leaves the page's context alone) and notes
// the frame's timestamp (ms since navigation start) when it first holds a pixel that is
// not black (the first picture: the machine's power-on screen), and when it first holds
// two colours or more (the monitor's text on its background).
const PICTURE_PROBE = `(() => {
    const copy = new OffscreenCanvas(256, 256).getContext('2d', { willReadFrequently: true });
    function tick(t) {
        const canvas = document.querySelector('canvas');
        if (canvas && canvas.width > 0 && canvas.height > 0) {
            copy.clearRect(0, 0, 256, 256);
            copy.drawImage(canvas, 0, 0, 256, 256);
            const d = new Uint32Array(copy.getImageData(0, 0, 256, 256).data.buffer);
            for (let i = 0; i < d.length; ++i) {
                if (d[i] & 0xffffff) {
                    if (window.__firstPicture === undefined) window.__firstPicture = t;
                    break;
                }
            }
            if (window.__firstPicture !== undefined && d.some((p) => p !== d[0])) {
                window.__firstText = t;
                return;
            }
        }
        requestAnimationFrame(tick);
    }
    requestAnimationFrame(tick);
})();`;

async function visit(page, go) {
    await go();
    await page.waitForFunction(() => window.__firstText !== undefined, null, { timeout: 20000 });
    return page.evaluate(() => {
        const nav = performance.getEntriesByType('navigation')[0];
        const wasm = performance.getEntriesByType('resource').find((r) => r.name.endsWith('.wasm'));
        return { picture: window.__firstPicture, text: window.__firstText, response: nav.responseEnd,
            dom: nav.domContentLoadedEventEnd, wasm: wasm ? wasm.responseEnd : NaN };
    });
}

async function measurePicture(base) {
    console.log(`\n== First picture (${opts.runs} runs, headless=new Chromium, site from ${base}/site/) ==`);
    const first = [];
    const again = [];
    for (let i = 0; i < opts.runs; ++i) {
        const b = await launch();
        try {
            await b.page.addInitScript(PICTURE_PROBE);
            first.push(await visit(b.page, () => b.page.goto(`${base}/${opts.site}/`)));
            again.push(await visit(b.page, () => b.page.reload()));
        } finally {
            await b.close();
        }
    }
    const show = (label, xs) => {
        console.log(`  ${label}: first picture ${spread(xs.map((x) => x.picture))} ms`);
        console.log(`      monitor's text shown ${spread(xs.map((x) => x.text))} ms`);
        console.log(`      document received ${median(xs.map((x) => x.response)).toFixed(1)} ms, DOMContentLoaded ${median(xs.map((x) => x.dom)).toFixed(1)} ms, .wasm received ${median(xs.map((x) => x.wasm)).toFixed(1)} ms (medians)`);
    };
    show('fresh profile (cold cache, empty storage)', first);
    show('reload, same profile (warm cache, session restored)', again);
    const m = median(first.map((x) => x.picture));
    console.log(`  goal at most 500 ms (fresh profile, median): ${m <= 500 ? 'met' : 'MISSED'}`);
    results.picture = { first, again };
}

// ---- 3. Interpreter speed.
// One run of the program loaded in the module: calls of at most 500 million cycles, each
// timed; the same loop as cpm-speed's native main. Used in node and, as source, in the page.
async function cpmSpeedRun(M, bytes, limit) {
    const chunk = 500e6;
    const p = M._malloc(bytes.length);
    M.HEAPU8.set(bytes, p);
    const loaded = M._speed_load(p, bytes.length);
    M._free(p);
    if (loaded !== 0) throw new Error('the program does not fit');
    let cycles = 0;
    let ms = 0;
    while (cycles < limit && !M._speed_finished()) {
        const t0 = performance.now();
        cycles += M._speed_run(Math.min(chunk, limit - cycles));
        ms += performance.now() - t0;
        await new Promise((resolve) => setTimeout(resolve, 0));
    }
    const text = M.HEAPU8.subarray(M._speed_output(), M._speed_output() + M._speed_output_size());
    return { cycles, seconds: ms / 1000, finished: M._speed_finished() !== 0, output: String.fromCharCode(...text) };
}

function diagnostics() {
    for (const dir of [process.env.LVOV_CPU_TESTS, path.join(ROOT, '..', 'shared', 'cpu-tests'), '/work/shared/cpu-tests']) {
        if (dir && fs.existsSync(path.join(dir, 'CPUTEST.COM'))) return dir;
    }
    return null;
}

// The processor time of the page's renderer processes, in seconds.
function rendererSeconds(browser) {
    const table = procTable();
    let ticks = 0;
    for (const pid of treeTicks(table, [browser]).pids) if (isRenderer(pid)) ticks += table.get(pid).ticks;
    return ticks / TICK;
}
function isRenderer(pid) {
    try {
        return fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8').includes('--type=renderer');
    } catch {
        return false;
    }
}

async function measureSpeed(base) {
    const dir = diagnostics();
    if (!dir) {
        console.log('\n== Interpreter speed: skipped (the 8080 diagnostics are absent; set LVOV_CPU_TESTS) ==');
        return;
    }
    const native = need(path.join(NATIVE, 'cpm-speed'), 'make build');
    const moduleJs = need(path.join(WEB, 'bench-web', 'cpm-speed.js'), 'cmake --build build-web --target cpm-speed');
    const programs = [
        { name: 'CPUTEST.COM', limit: Infinity, runs: opts.runs },
        { name: '8080EXM-SZPC.COM', limit: opts['exerciser-cycles'], runs: 3 },
    ];
    // node's fetch cannot read a file path: the module gets its code directly.
    const nodeModule = await require(moduleJs)({ wasmBinary: fs.readFileSync(moduleJs.replace(/\.js$/, '.wasm')) });
    const b = await launch();
    const browser = browserPid();
    results.speed = {};
    try {
        await b.page.goto(`${base}/bench-web/speed.html`);
        await b.page.addScriptTag({ content: cpmSpeedRun.toString() });
        await b.page.evaluate(async () => {
            window.M = await CpmSpeed();
        });
        for (const prog of programs) {
            const file = path.join(dir, prog.name);
            if (!fs.existsSync(file)) {
                console.log(`\n== ${prog.name}: skipped (absent) ==`);
                continue;
            }
            const bytes = fs.readFileSync(file);
            const limit = prog.limit === Infinity ? 1e18 : prog.limit;
            const span = prog.limit === Infinity ? 'whole program' : `first ${prog.limit.toExponential(1)} cycles`;
            console.log(`\n== Interpreter speed, ${prog.name} (${span}; ${prog.runs} runs each, in turn, after a warm-up run) ==`);
            // One run in each column to warm up (the browser and node compile the module in
            // tiers while it runs; the caches fill); then the measured runs, taken in turn from the three
            // columns so that the load of the machine falls on each alike. Each run has the
            // wall clock and the processor time of what ran it.
            const columns = { native: [], chromium: [], node: [] };
            // A native run warms up in its own process too: the second of two is taken.
            const runNative = () => JSON.parse(execFileSync(native, [file, '--cycles', String(limit), '--runs', '2'],
                { maxBuffer: 1 << 26 }).toString().trim().split('\n')[1]);
            const runChromium = async () => {
                const c0 = rendererSeconds(browser);
                const run = await b.page.evaluate(([list, n]) => cpmSpeedRun(window.M, new Uint8Array(list), n), [[...bytes], limit]);
                run.cpu_seconds = rendererSeconds(browser) - c0;
                return run;
            };
            const runNode = async () => {
                const c0 = process.cpuUsage();
                const run = await cpmSpeedRun(nodeModule, bytes, limit);
                const c = process.cpuUsage(c0);
                run.cpu_seconds = (c.user + c.system) / 1e6;
                return run;
            };
            await runChromium();
            await runNode();
            for (let r = 0; r < prog.runs; ++r) {
                columns.native.push(runNative());
                columns.chromium.push(await runChromium());
                columns.node.push(await runNode());
            }
            const rates = {};
            for (const [name, runs] of Object.entries(columns)) {
                rates[name] = runs.map((r) => r.cycles / r.seconds / 1e6);
                const cpu = runs.map((r) => r.cycles / r.cpu_seconds / 1e6);
                console.log(`  ${name.padEnd(8)} wall clock ${spread(rates[name], 0)} M cycles/s`);
                console.log(`  ${''.padEnd(8)} processor time ${spread(cpu, 0)} M cycles/s`);
            }
            const first = columns.native[0];
            const same = columns.native.concat(columns.chromium, columns.node)
                .every((r) => r.output === first.output && r.cycles === first.cycles && r.finished === first.finished);
            console.log(`  ${first.cycles} cycles a run, program ended: ${first.finished}; output and cycles identical in every run of the three: ${same ? 'yes' : 'NO'}`);
            const ratio = median(rates.chromium) / median(rates.native);
            console.log(`  Chromium / native (wall clock medians) = ${ratio.toFixed(2)}; node / native = ${(median(rates.node) / median(rates.native)).toFixed(2)}; goal at least 0.5: ${ratio >= 0.5 ? 'met' : 'MISSED'}`);
            results.speed[prog.name] = { columns, same };
        }
    } finally {
        await b.close();
    }
}

// ---- 4. CPU while the monitor idles.
function startX() {
    return new Promise((resolve, reject) => {
        const xvfb = spawn('Xvfb', ['-displayfd', '3', '-screen', '0', '1280x1024x24', '-nolisten', 'tcp'],
            { stdio: ['ignore', 'ignore', 'ignore', 'pipe'] });
        let text = '';
        xvfb.stdio[3].on('data', (d) => {
            text += d;
            if (!text.includes('\n')) return;
            const display = ':' + text.trim();
            const wm = spawn('openbox', [], { stdio: 'ignore', env: { ...process.env, DISPLAY: display } });
            setTimeout(() => resolve({ display, pids: [xvfb.pid, wm.pid], stop: () => [wm, xvfb].forEach((c) => c.kill()) }), 1000);
        });
        xvfb.on('error', reject);
        xvfb.on('exit', (code) => reject(new Error(`Xvfb ended (${code})`)));
    });
}

// What a process is: Chromium's --type (renderer, gpu-process, utility:<service>,
// zygote), "browser" for its main process, else its command name.
function processKind(pid, comm) {
    let cmd = '';
    try {
        cmd = fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8');
    } catch {
        return comm;
    }
    if (!/chrom/.test(comm)) return comm;
    const type = cmd.match(/--type=([a-z-]+)/);
    const sub = cmd.match(/--utility-sub-type=([\w.]+)/);
    return type ? type[1] + (sub ? ':' + sub[1].replace(/\.mojom\.\w+$/, '') : '') : 'browser';
}

// CPU of the process trees `groups` (name -> root pids) over the idle window after the
// warm-up, in % of one core, in all and by kind of process; probe() is read at both
// ends of the window.
async function idleCpu(groups, probe = async () => null) {
    await sleep(opts['warmup-seconds'] * 1000);
    const p0 = await probe();
    const t0 = procTable();
    const w0 = process.hrtime.bigint();
    await sleep(opts['idle-seconds'] * 1000);
    const t1 = procTable();
    const seconds = Number(process.hrtime.bigint() - w0) / 1e9;
    const p1 = await probe();
    const out = { seconds, probe: [p0, p1] };
    const percent = (ticks) => (ticks / TICK / seconds) * 100;
    for (const [k, pids] of Object.entries(groups)) {
        const a = treeTicks(t0, pids);
        const b = treeTicks(t1, pids);
        const kinds = {};
        for (const pid of b.pids) {
            const kind = processKind(pid, t1.get(pid).comm);
            kinds[kind] = (kinds[kind] || 0) + percent(t1.get(pid).ticks - (t0.has(pid) ? t0.get(pid).ticks : 0));
        }
        out[k] = { percent: percent(b.ticks - a.ticks), processes: b.count, kinds };
    }
    return out;
}

async function desktopRun() {
    const program = need(path.join(NATIVE, 'nevemulator'), 'make build');
    const x = await startX();
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'lvov-measure-dir-'));
    const app = spawn(program, ['--dir', dir], {
        stdio: 'ignore', env: { ...process.env, DISPLAY: x.display, QT_QPA_PLATFORM: 'xcb' } });
    try {
        const cpu = await idleCpu({ program: [app.pid], x: x.pids });
        if (app.exitCode !== null) throw new Error(`nevemulator ended (${app.exitCode})`);
        return cpu;
    } finally {
        app.kill();
        await new Promise((r) => (app.exitCode !== null ? r() : app.on('exit', r)));
        x.stop();
        fs.rmSync(dir, { recursive: true, force: true });
    }
}

// Counts the page's animation frames and the pictures it draws, to show that it ran.
const FRAME_COUNTER = `(() => {
    window.__frames = { raf: 0, drawn: 0 };
    const raf = window.requestAnimationFrame.bind(window);
    window.requestAnimationFrame = (cb) => raf((t) => { ++window.__frames.raf; cb(t); });
    const put = CanvasRenderingContext2D.prototype.putImageData;
    CanvasRenderingContext2D.prototype.putImageData = function (...a) { ++window.__frames.drawn; return put.apply(this, a); };
})();`;

// Pages for comparison, in the same browser: where an idle page's CPU goes.
const REFERENCE_PAGES = {
    'a blank page with a 512 px canvas': '',
    'an empty requestAnimationFrame loop': 'function f() { requestAnimationFrame(f); } requestAnimationFrame(f);',
    'an empty 20 ms setInterval': 'setInterval(() => {}, 20);',
};
const referenceHtml = (script) =>
    `<!doctype html><canvas width="256" height="256" style="width:512px;height:512px"></canvas><script>${script}</script>`;

// The page (url) or a reference page (html) left idling in Chromium.
async function pageRun(target, display) {
    let x = null;
    const extra = {};
    if (display === 'xvfb') {
        x = await startX();
        extra.headless = false;
        extra.args = CHROMIUM_ARGS.filter((a) => !a.startsWith('--headless'));
        extra.env = { ...process.env, DISPLAY: x.display };
    }
    const b = await launch(extra);
    try {
        await b.page.addInitScript(FRAME_COUNTER);
        if (target.url) await b.page.goto(target.url);
        else await b.page.setContent(target.html);
        const groups = { browser: [browserPid()] };
        if (x) groups.x = x.pids;
        const cpu = await idleCpu(groups, () => b.page.evaluate(() => ({ ...window.__frames })));
        const [f0, f1] = cpu.probe;
        cpu.frames = { raf: (f1.raf - f0.raf) / cpu.seconds, drawn: (f1.drawn - f0.drawn) / cpu.seconds };
        cpu.status = await b.page.evaluate(() => (document.getElementById('status') || {}).textContent);
        cpu.total = cpu.browser.percent + (x ? cpu.x.percent : 0);
        return cpu;
    } finally {
        await b.close();
        if (x) x.stop();
    }
}

const kindsText = (runs) => {
    const kinds = {};
    for (const r of runs) for (const [k, v] of Object.entries(r.browser.kinds)) (kinds[k] = kinds[k] || []).push(v);
    return Object.entries(kinds).filter(([, v]) => median(v) >= 0.05).sort((p, q) => median(q[1]) - median(p[1]))
        .map(([k, v]) => `${k} ${median(v).toFixed(1)}`).join(', ');
};

async function measureCpu(base) {
    const n = opts['cpu-runs'];
    console.log(`\n== CPU while the monitor idles (${n} runs, ${opts['warmup-seconds']} s warm-up, ${opts['idle-seconds']} s window; % of one core) ==`);
    const desk = [];
    for (let i = 0; i < n; ++i) desk.push(await desktopRun());
    const program = desk.map((d) => d.program.percent);
    const withX = desk.map((d) => d.program.percent + d.x.percent);
    console.log(`  desktop nevemulator in a window under Xvfb: ${spread(program, 2)} %; with Xvfb and openbox ${spread(withX, 2)} %`);
    results.cpu = { desktop: desk };
    const displays = opts['page-display'] === 'both' ? ['headless', 'xvfb'] : [opts['page-display']];
    for (const display of displays) {
        const runs = [];
        for (let i = 0; i < n; ++i) runs.push(await pageRun({ url: `${base}/${opts.site}/` }, display));
        const total = runs.map((r) => r.total);
        const label = display === 'xvfb' ? 'headed Chromium under Xvfb (all its processes, Xvfb and openbox)' : 'headless=new Chromium (all its processes)';
        console.log(`  page in ${label}: ${spread(total, 2)} %`);
        console.log(`      by process (medians): ${kindsText(runs)}`);
        console.log(`      animation frames ${spread(runs.map((r) => r.frames.raf))} /s, pictures drawn ${spread(runs.map((r) => r.frames.drawn))} /s, status "${runs[0].status}"`);
        const against = display === 'xvfb' ? withX : program;
        const ratio = median(total) / median(against);
        console.log(`      page / desktop${display === 'xvfb' ? ' with Xvfb' : ' program alone'} = ${ratio.toFixed(2)}; page / desktop with Xvfb and openbox = ${(median(total) / median(withX)).toFixed(2)}; goal at most 2: ${ratio <= 2 ? 'met' : 'MISSED'}`);
        results.cpu[display] = runs;
    }
    if (!opts['cpu-reference']) return;
    console.log('  for comparison, headless=new Chromium idling on');
    results.cpu.reference = {};
    for (const [name, script] of Object.entries(REFERENCE_PAGES)) {
        const runs = [];
        for (let i = 0; i < n; ++i) runs.push(await pageRun({ html: referenceHtml(script) }, 'headless'));
        console.log(`      ${name}: ${spread(runs.map((r) => r.total), 2)} % (${kindsText(runs)})`);
        results.cpu.reference[name] = runs;
    }
}

// ---- Main.
console.log(`Machine: ${results.machine.cpus} CPUs, ${results.machine.model}; load average ${results.machine.load}`);
let server = null;
try {
    if (parts.has('size')) measureSize();
    if (parts.has('picture') || parts.has('speed') || parts.has('cpu')) server = await startServer();
    if (parts.has('picture')) await measurePicture(server.base);
    if (parts.has('speed')) await measureSpeed(server.base);
    if (parts.has('cpu')) await measureCpu(server.base);
    results.machine.loadAfter = os.loadavg().map((l) => l.toFixed(2)).join(' ');
    console.log(`\nLoad average at the end: ${results.machine.loadAfter}`);
    if (opts.json) fs.writeFileSync(opts.json, JSON.stringify(results, null, 1));
} finally {
    if (server) server.child.kill();
}
