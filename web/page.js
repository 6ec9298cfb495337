// The page: the animation-frame loop, the keyboard, the buttons, files in and out, and the
// browser's storage, over the session's C interface (lvov_web.cpp). Appended to
// emscripten's loader, so the site has one script.
(function () {
    'use strict';

    const $ = (id) => document.getElementById(id);
    const testMode = new URLSearchParams(location.search).has('test');
    const DATA = '/data';

    // ---- Keys: KeyboardEvent.code (the key's position, whatever the layout) to the
    // Windows virtual-key codes the key tables use, as the desktop's host key layer does.
    const VK = {
        Escape: 0x1b, Backspace: 0x08, Tab: 0x09, Enter: 0x0d, NumpadEnter: 0x0d,
        ShiftLeft: 0x10, ShiftRight: 0x10, ControlLeft: 0x11, ControlRight: 0x11,
        AltLeft: 0x12, AltRight: 0x12, Pause: 0x13, CapsLock: 0x14, Space: 0x20,
        PageUp: 0x21, PageDown: 0x22, End: 0x23, Home: 0x24,
        ArrowLeft: 0x25, ArrowUp: 0x26, ArrowRight: 0x27, ArrowDown: 0x28,
        PrintScreen: 0x2c, Insert: 0x2d, Delete: 0x2e,
        MetaLeft: 0x5b, MetaRight: 0x5c, ContextMenu: 0x5d,
        NumpadMultiply: 0x6a, NumpadAdd: 0x6b, NumpadSubtract: 0x6d, NumpadDecimal: 0x6e, NumpadDivide: 0x6f,
        NumLock: 0x90, ScrollLock: 0x91,
        Semicolon: 0xba, Equal: 0xbb, Comma: 0xbc, Minus: 0xbd, Period: 0xbe, Slash: 0xbf, Backquote: 0xc0,
        BracketLeft: 0xdb, Backslash: 0xdc, BracketRight: 0xdd, Quote: 0xde, IntlBackslash: 0xe2,
    };
    for (let i = 0; i < 26; ++i) VK['Key' + String.fromCharCode(65 + i)] = 65 + i;
    for (let d = 0; d < 10; ++d) {
        VK['Digit' + d] = 0x30 + d;
        VK['Numpad' + d] = 0x60 + d;
    }
    for (let f = 1; f <= 12; ++f) VK['F' + f] = 0x6f + f;
    // Keys the browser keeps: full screen, its developer tools.
    const BROWSER_KEYS = new Set(['F11', 'F12']);

    // ---- Messages: every failure is shown on the page.
    const shown = [];
    function message(error, text) {
        shown.push({ error, text });
        const box = document.createElement('div');
        box.className = 'message ' + (error ? 'error' : 'info');
        const body = document.createElement('span');
        body.textContent = text;
        const close = document.createElement('button');
        close.textContent = '×';
        close.title = 'Dismiss';
        close.addEventListener('click', () => box.remove());
        box.append(body, close);
        $('messages').append(box);
        while ($('messages').children.length > 5) $('messages').firstElementChild.remove();
        (error ? console.error : console.info)(text);
    }
    const failed = (what, e) => message(true, what + ': ' + (e && e.message ? e.message : String(e)));

    // ---- Strings and files into and out of the module.
    function withString(text, fn) {
        const size = lengthBytesUTF8(text) + 1;
        const p = _malloc(size);
        try {
            stringToUTF8(text, p, size);
            return fn(p);
        } finally {
            _free(p);
        }
    }
    // A file the user gave: into /open under its own name (the current folder), so that
    // messages name it as the user knows it.
    function putFile(name, bytes) {
        const safe = name.replace(/[/\\]/g, '_') || 'file';
        FS.writeFile('/open/' + safe, bytes);
        return safe;
    }
    function download(bytes, name, type) {
        const url = URL.createObjectURL(new Blob([bytes], { type }));
        const a = document.createElement('a');
        a.href = url;
        a.download = name;
        document.body.append(a);
        a.click();
        a.remove();
        setTimeout(() => URL.revokeObjectURL(url), 60000);
    }
    function stamp() {
        const d = new Date();
        const two = (n) => String(n).padStart(2, '0');
        return `${d.getFullYear()}${two(d.getMonth() + 1)}${two(d.getDate())}-${two(d.getHours())}${two(d.getMinutes())}${two(d.getSeconds())}`;
    }

    // ---- The data folder in IndexedDB: database "nevemulator", store "files", one entry
    // per file of /data (key: its path inside /data; value: bytes and time of change).
    // Read whole before the session starts; written back after the commands and keys and
    // every five seconds, only what changed.
    //
    // A page going away cannot wait for IndexedDB: Chromium drops a transaction still
    // under way when the page unloads, and with it the close slot. So what pagehide has to
    // keep also goes, synchronously, into localStorage ("nevemulator-unsaved"), and the next
    // visit moves it into IndexedDB.
    const UNSAVED = 'nevemulator-unsaved';
    const store = { db: null, known: new Map(), keep: true, failedOnce: false, pending: Promise.resolve() };

    function openDatabase() {
        return new Promise((resolve, reject) => {
            if (!window.indexedDB) return reject(new Error('this browser has no IndexedDB'));
            const req = indexedDB.open('nevemulator', 1);
            req.onupgradeneeded = () => req.result.createObjectStore('files');
            req.onsuccess = () => resolve(req.result);
            req.onerror = () => reject(req.error);
            req.onblocked = () => reject(new Error('the storage is held by an older copy of this page'));
        });
    }
    function mkdirs(path) {
        let at = '';
        for (const part of path.split('/').filter(Boolean)) {
            at += '/' + part;
            if (!FS.analyzePath(at).exists) FS.mkdir(at);
        }
    }
    async function loadDataFolder() {
        mkdirs(DATA);
        store.db = await openDatabase();
        const entries = await new Promise((resolve, reject) => {
            const tx = store.db.transaction('files', 'readonly');
            const keys = tx.objectStore('files').getAllKeys();
            const values = tx.objectStore('files').getAll();
            tx.oncomplete = () => resolve(keys.result.map((k, i) => [k, values.result[i]]));
            tx.onerror = () => reject(tx.error);
        });
        // (No destructuring in loops here: the optimizer of Debian's emscripten drops it.)
        for (const entry of entries) {
            const key = entry[0];
            const value = entry[1];
            if (typeof key !== 'string' || !value || !(value.bytes instanceof Uint8Array)) continue;
            putDataFile(key, value.bytes, value.mtime);
            store.known.set(key, value.mtime + ':' + value.bytes.length);
        }
        // Files the last visit kept at its end, newer than the stored ones, replace them
        // (and reach IndexedDB with the first write).
        const unsaved = readUnsaved();
        for (const key of Object.keys(unsaved)) {
            const f = unsaved[key];
            const known = store.known.get(key);
            if (known && Number(known.split(':')[0]) > f.mtime) continue;
            putDataFile(key, f.bytes, f.mtime);
            store.known.delete(key);
        }
    }
    function putDataFile(key, bytes, mtime) {
        if (key.split('/').includes('..')) return;
        const path = DATA + '/' + key;
        mkdirs(path.substring(0, path.lastIndexOf('/')));
        FS.writeFile(path, bytes);
        FS.utime(path, mtime, mtime);
    }
    function readUnsaved() {
        const out = {};
        try {
            const kept = JSON.parse(localStorage.getItem(UNSAVED) || '{}');
            for (const key of Object.keys(kept)) {
                const text = atob(kept[key].data);
                const bytes = new Uint8Array(text.length);
                for (let i = 0; i < text.length; ++i) bytes[i] = text.charCodeAt(i);
                out[key] = { bytes, mtime: Number(kept[key].mtime) || 0 };
            }
        } catch (e) {
            failed('The end of the last visit could not be read back', e);
        }
        return out;
    }
    // Files IndexedDB now has, as they were written, leave localStorage.
    function forgetUnsaved(puts) {
        try {
            const text = localStorage.getItem(UNSAVED);
            if (!text) return;
            const kept = JSON.parse(text);
            for (const p of puts) if (kept[p.key] && kept[p.key].mtime <= p.f.mtime) delete kept[p.key];
            if (Object.keys(kept).length) localStorage.setItem(UNSAVED, JSON.stringify(kept));
            else localStorage.removeItem(UNSAVED);
        } catch (e) {
            console.error('localStorage', e);
        }
    }
    // What a write to IndexedDB would take now, into localStorage at once.
    function keepUnsaved() {
        if (!store.keep) return;
        try {
            const kept = JSON.parse(localStorage.getItem(UNSAVED) || '{}');
            listDataFolder(DATA, new Map()).forEach((f, key) => {
                if (store.known.get(key) === f.mtime + ':' + f.size) return;
                const bytes = FS.readFile(f.path);
                let text = '';
                for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
                kept[key] = { data: btoa(text), mtime: f.mtime };
            });
            localStorage.setItem(UNSAVED, JSON.stringify(kept));
        } catch (e) {
            console.error('The session could not be kept in localStorage', e);
        }
    }
    function listDataFolder(dir, out) {
        for (const name of FS.readdir(dir)) {
            if (name === '.' || name === '..') continue;
            const path = dir + '/' + name;
            const st = FS.lstat(path);
            if (FS.isDir(st.mode)) listDataFolder(path, out);
            else if (FS.isFile(st.mode)) out.set(path.substring(DATA.length + 1), { path, mtime: st.mtime.getTime(), size: st.size });
        }
        return out;
    }
    // The autosave adds a dated copy every minute of running. The page has no way to reach
    // more than the newest nine (the digit keys), so it keeps the newest AUTOSAVE_KEPT and
    // lets older ones go, rather than fill the browser's storage without end.
    const AUTOSAVE_KEPT = 100;
    function trimAutoSave() {
        const dir = DATA + '/AutoSave';
        if (!FS.analyzePath(dir).exists) return;
        const names = FS.readdir(dir).filter((n) => /\.NevLVE$/i.test(n)).sort();
        for (const name of names.slice(0, Math.max(0, names.length - AUTOSAVE_KEPT))) FS.unlink(dir + '/' + name);
    }
    // Writes what changed in /data since the last call in one transaction, started at once
    // (so that a page being closed still gets it under way); resolves when it is written.
    function persist() {
        if (!store.db || !store.keep) return store.pending;
        let files;
        try {
            trimAutoSave();
            files = listDataFolder(DATA, new Map());
        } catch (e) {
            failed('Cannot list the data folder', e);
            return store.pending;
        }
        const puts = [];
        files.forEach((f, key) => {
            const sig = f.mtime + ':' + f.size;
            if (store.known.get(key) !== sig) puts.push({ key, f, sig });
        });
        const gone = [...store.known.keys()].filter((k) => !files.has(k));
        if (!puts.length && !gone.length) return store.pending;
        const tx = store.db.transaction('files', 'readwrite');
        const os = tx.objectStore('files');
        for (const p of puts) {
            os.put({ bytes: FS.readFile(p.f.path), mtime: p.f.mtime }, p.key);
            store.known.set(p.key, p.sig);
        }
        for (const key of gone) {
            os.delete(key);
            store.known.delete(key);
        }
        if (tx.commit) tx.commit();  // no more requests: written without waiting for the task to end
        store.pending = new Promise((resolve) => {
            tx.oncomplete = () => {
                store.failedOnce = false;
                forgetUnsaved(puts);
                resolve();
            };
            tx.onerror = tx.onabort = () => {
                // The next write tries every file again.
                for (const p of puts) store.known.delete(p.key);
                if (!store.failedOnce) failed("The browser's storage did not keep the session", tx.error);
                store.failedOnce = true;
                resolve();
            };
        });
        return store.pending;
    }

    // ---- The picture.
    const canvas = $('screen');
    // desynchronized: the picture goes to the screen without waiting for the page's next
    // composited frame, which also costs the browser less for the blinking cursor.
    const ctx = canvas.getContext('2d', { alpha: false, desynchronized: true });
    const image = ctx.createImageData(256, 256);
    // Draws what changed since the last drawing (force: all of it); true when it drew.
    function draw(force) {
        const p = force ? _lw_picture_now() : _lw_picture();
        if (!p) return false;
        const at = _lw_changed() >> 2;
        const box = HEAP32.subarray(at, at + 4);
        const from = box[1] * 256 * 4;
        const to = (box[1] + box[3]) * 256 * 4;
        image.data.set(HEAPU8.subarray(p + from, p + to), from);
        ctx.putImageData(image, 0, 0, box[0], box[1], box[2], box[3]);
        return true;
    }
    // Whole multiples of 256 device pixels, as large as the space allows: every emulated
    // pixel the same size, sharp.
    function fit() {
        const dpr = window.devicePixelRatio || 1;
        const full = document.fullscreenElement === $('screen-box');
        const box = full ? { w: window.innerWidth, h: window.innerHeight } : {
            w: $('screen-box').clientWidth || window.innerWidth,
            h: window.innerHeight - $('screen-box').getBoundingClientRect().top - 16 -
                (document.querySelector('footer') ? document.querySelector('footer').offsetHeight : 0),
        };
        const scale = Math.max(1, Math.floor((Math.min(box.w, box.h) * dpr) / 256));
        const css = (256 * scale) / dpr + 'px';
        canvas.style.width = css;
        canvas.style.height = css;
    }

    // ---- Calls from the session (lvov_web.cpp's listener).
    let paused = false;
    let recording = false;
    let replaying = false;
    let replayWaiters = [];
    const lvov = (Module.lvov = Module.lvov || {});
    lvov.message = (error, caption, text) => message(error, caption ? caption + ': ' + text : text);
    lvov.pauseChanged = (p) => {
        paused = p;
        showStatus();
    };
    lvov.titleChanged = (title) => {
        $('title').textContent = title;
    };
    lvov.gameChanged = (title) => {
        const games = $('games');
        let index = 0;
        for (let i = 1; i < games.options.length; ++i) if (games.options[i].textContent === title) index = i;
        games.selectedIndex = index;
    };
    lvov.gamesListed = () => {
        const games = $('games');
        while (games.options.length > 1) games.remove(1);
        const n = _lw_games_count();
        for (let i = 0; i < n; ++i) {
            const o = document.createElement('option');
            o.value = String(i);
            o.textContent = UTF8ToString(_lw_game_title(i));
            games.append(o);
        }
    };
    const applied = { fps: 50, cycles: 68000 };
    lvov.speedChanged = (fps, cycles) => {
        applied.fps = fps;
        applied.cycles = cycles;
        $('fps').value = fps;
        $('cycles').value = cycles;
    };
    lvov.wakeAfter = (ms) => setTimeout(() => guard('The pause slot', () => _lw_wake()), ms);
    lvov.reopenChanged = () => {};
    lvov.recordingChanged = (on) => {
        recording = on;
        $('record').textContent = on ? 'Stop recording' : 'Record';
        showStatus();
    };
    // A replay file being read counts as a replay under way, for those waiting on its end.
    let replayFile = false;
    function replayEnded() {
        if (replaying || replayFile) return;
        const matched = _lw_replay_matched();
        const waiters = replayWaiters;
        replayWaiters = [];
        for (const w of waiters) w(matched);
    }
    lvov.replayChanged = (on) => {
        replaying = on;
        showStatus();
        replayEnded();
    };
    function showStatus() {
        const parts = [paused ? 'Paused' : 'Running'];
        if (recording) parts.push('recording');
        if (replaying) parts.push('replaying (Esc ends it)');
        if (!store.keep) parts.push('session not kept');
        $('status').textContent = parts.join(', ');
        $('pause').textContent = paused ? 'Resume' : 'Pause';
        document.body.classList.toggle('paused', paused);
    }

    // Every handler: its failure shown, the page going on; then the data folder written.
    function guard(what, fn) {
        try {
            fn();
        } catch (e) {
            failed(what, e);
        }
        draw(false);
        persist();
    }

    // ---- Buttons and fields.
    function bind(id, what, fn) {
        $(id).addEventListener('click', () => guard(what, fn));
    }
    function snapshotBytes() {
        const name = 'lvov-' + stamp() + '.NevLVE';
        const written = withString('/download/' + name, (p) => UTF8ToString(_lw_save_as(p)));
        if (!written) return null;
        const bytes = FS.readFile(written);
        FS.unlink(written);
        return { name: written.substring(written.lastIndexOf('/') + 1), bytes };
    }
    function wire() {
        bind('pause', 'Pause', () => _lw_pause_command());
        bind('quick-reset', 'Reset', () => _lw_reset(1));
        bind('full-reset', 'Full reset', () => _lw_reset(0));
        bind('quick-save', 'QuickSave', () => _lw_quick_save());
        bind('quick-load', 'QuickLoad', () => _lw_quick_open());
        bind('rewind-back', 'Rewind', () => _lw_rewind_back());
        bind('rewind-forward', 'Forward', () => _lw_rewind_forward());
        bind('download-snapshot', 'Download snapshot', () => {
            const s = snapshotBytes();
            if (s) download(s.bytes, s.name, 'application/octet-stream');
        });
        bind('save-picture', 'Save picture', () => {
            canvas.toBlob((blob) => {
                if (blob) download(blob, 'lvov-' + stamp() + '.png', 'image/png');
                else message(true, 'Cannot encode the picture as PNG.');
            }, 'image/png');
        });
        bind('record', 'Record', () => {
            const path = '/download/recording.NevLVR';
            if (!recording) {
                withString(path, (p) => _lw_start_recording(p));
                return;
            }
            _lw_stop_recording();
            if (!recording && FS.analyzePath(path).exists) {
                const bytes = FS.readFile(path);
                FS.unlink(path);
                download(bytes, 'lvov-' + stamp() + '.NevLVR', 'application/octet-stream');
            }
        });
        bind('replay', 'Replay', () => $('replay-file').click());
        bind('fullscreen', 'Full screen', () => {
            const box = $('screen-box');
            if (!box.requestFullscreen) throw new Error('this browser has no full screen');
            box.requestFullscreen().catch((e) => failed('Full screen', e));
        });
        $('open').addEventListener('change', () => takeFile($('open'), (name) => withString(name, (p) => _lw_open(p))));
        $('replay-file').addEventListener('change', () => {
            replayFile = true;
            takeFile($('replay-file'), (name) => withString(name, (p) => _lw_start_replay(p)), () => {
                replayFile = false;
                replayEnded();  // a file that did not start a replay
            });
        });
        $('games').addEventListener('change', () =>
            guard('Games', () => {
                const index = $('games').selectedIndex - 1;
                if (index >= 0) _lw_choose_game(index);
            }));
        // The two speed settings, whole numbers as the desktop's fields take them (frames per
        // second from 1, cycles per frame from 0); anything else is refused and the fields
        // show the settings in effect again.
        for (const id of ['fps', 'cycles']) {
            $(id).addEventListener('change', () =>
                guard('Speed', () => {
                    const fps = Number($('fps').value.trim() || NaN);
                    const cycles = Number($('cycles').value.trim() || NaN);
                    const whole = (n) => Number.isInteger(n) && n >= 0 && n <= 2147483647;
                    if (!whole(fps) || !whole(cycles)) {
                        lvov.speedChanged(applied.fps, applied.cycles);
                        throw new Error('frames per second and cycles per frame are whole numbers from 0 to 2147483647');
                    }
                    _lw_set_speed(fps, cycles);
                }));
        }
        // Drag and drop: the file over the machine, running on, as the desktop's drop.
        document.addEventListener('dragover', (e) => {
            e.preventDefault();
            document.body.classList.add('dropping');
        });
        document.addEventListener('dragleave', () => document.body.classList.remove('dropping'));
        document.addEventListener('drop', (e) => {
            e.preventDefault();
            document.body.classList.remove('dropping');
            const file = e.dataTransfer && e.dataTransfer.files[0];
            if (file) readFile(file, (name) => withString(name, (p) => _lw_drop(p)));
        });
        window.addEventListener('resize', fit);
        document.addEventListener('fullscreenchange', fit);
    }
    function readFile(file, use, settle) {
        file.arrayBuffer().then(
            (buffer) => {
                guard('Open', () => use(putFile(file.name, new Uint8Array(buffer))));
                if (settle) settle();
            },
            (e) => {
                failed('Cannot read "' + file.name + '"', e);
                if (settle) settle();
            });
    }
    function takeFile(input, use, settle) {
        const file = input.files && input.files[0];
        input.value = '';  // the same file may be chosen again
        if (file) readFile(file, use, settle);
        else if (settle) settle();
    }

    // ---- Keys: every key reaches the session (which routes it as the desktop does), except
    // in the page's own fields and the browser's keys. Held keys are let go when the page
    // loses the focus, so no key stays down in the machine.
    const held = new Set();
    const ownsKey = (e) => {
        const t = e.target;
        return t && (t.tagName === 'INPUT' || t.tagName === 'SELECT' || t.tagName === 'TEXTAREA');
    };
    function wireKeys() {
        window.addEventListener('keydown', (e) => {
            if (ownsKey(e) || BROWSER_KEYS.has(e.code)) return;
            const vk = VK[e.code];
            if (!vk) return;
            e.preventDefault();
            busy();
            if (e.repeat) return;
            held.add(vk);
            guard('Key', () => _lw_key(vk, 1));
        });
        window.addEventListener('keyup', (e) => {
            const vk = VK[e.code];
            if (!vk || !held.has(vk)) return;
            e.preventDefault();
            held.delete(vk);
            guard('Key', () => _lw_key(vk, 0));
        });
        window.addEventListener('blur', releaseAll);
    }
    function releaseAll() {
        for (const vk of held) guard('Key', () => _lw_key(vk, 0));
        held.clear();
    }

    // ---- Time: frames by elapsed time at the frame rate in effect, whatever the display's
    // refresh rate; nothing while the page is hidden (the browser then stops animation
    // frames, and the session catches up at most a few frames when it comes back).
    //
    // While something moves on the screen or a key is used, frames run from animation
    // frames, in step with the display. While the picture is still (at most the cursor
    // blinking) they run from a timer every IDLE_WAKE_MS, a few frames at a time: the
    // machine runs as fast, and the page wakes the browser ten times a second instead of
    // sixty; those wake-ups are most of what an idle page costs.
    const IDLE_WAKE_MS = 100;  // 5 frames at 50 frames a second, below run_due's catch-up limit
    const BUSY_DRAWS = 5;  // pictures a second that make the screen busy (a blinking cursor draws 3)
    const BUSY_FOR_MS = 1500;  // how long a key or a busy second keeps animation frames
    let busyUntil = 0;
    let draws = [];
    let idleTimer = 0;
    let stopped = false;
    function busy() {
        busyUntil = performance.now() + BUSY_FOR_MS;
        if (idleTimer) {  // waiting on the timer: go to animation frames now
            clearTimeout(idleTimer);
            idleTimer = 0;
            requestAnimationFrame(animate);
        }
    }
    function animate() {
        idleTimer = 0;
        if (stopped) return;
        const now = performance.now();
        if (!document.hidden) {
            try {
                if (_lw_run_due(now) > 0 && draw(false)) {
                    draws.push(now);
                    draws = draws.filter((t) => now - t < 1000);
                    if (draws.length >= BUSY_DRAWS) busyUntil = now + BUSY_FOR_MS;
                }
            } catch (e) {
                stopped = true;
                failed('The emulator stopped', e);
                return;
            }
        }
        if (now < busyUntil || document.hidden) requestAnimationFrame(animate);
        else idleTimer = setTimeout(animate, IDLE_WAKE_MS);
    }
    // Commands and keys write the data folder back at once (guard); what the session writes
    // by itself (the autosave, a paced pause slot) is picked up every few seconds.
    setInterval(() => {
        if (store.db) persist();
    }, 5000);

    // The session is kept when the page is hidden (it may be discarded then) and when it
    // goes away.
    let started = false;
    document.addEventListener('visibilitychange', () => {
        if (!started) return;
        if (document.hidden) {
            releaseAll();
            guard('Keeping the session', () => _lw_keep_session());
        }
    });
    window.addEventListener('pagehide', () => {
        if (!started) return;
        releaseAll();
        try {
            _lw_close();
        } catch (e) {
            console.error(e);
        }
        keepUnsaved();
        persist();
    });

    // One tab keeps the session of this browser: a second one runs without writing any
    // slot, as a second copy of the desktop program on one folder does.
    function claimSession() {
        if (!navigator.locks) return Promise.resolve(true);
        return new Promise((resolve) => {
            navigator.locks
                .request('nevemulator-session', { ifAvailable: true }, (lock) => {
                    resolve(!!lock);
                    return lock ? new Promise(() => {}) : null;  // held while the page lives
                })
                .catch(() => resolve(true));
        });
    }

    let readyResolve;
    const ready = new Promise((r) => (readyResolve = r));
    Module.onRuntimeInitialized = async () => {
        try {
            FS.mkdir('/open');
            FS.mkdir('/download');
            const owner = await claimSession();
            let reason = '';
            if (!owner) {
                store.keep = false;
                reason = 'another tab of this browser runs the emulator and keeps its session';
            }
            try {
                await loadDataFolder();
            } catch (e) {
                store.keep = false;
                store.db = null;
                reason = reason || "the browser's storage cannot be used (" + (e && e.message ? e.message : e) + ')';
                failed("The browser's storage cannot be used; nothing will be kept", e);
            }
            if (!owner) message(false, 'Another tab of this browser runs the emulator: this tab keeps no session.');
            wire();
            wireKeys();
            fit();
            withString(reason, (p) => _lw_start(p));
            started = true;
            showStatus();
            draw(true);
            readyResolve();
            if (!testMode) {
                busy();
                requestAnimationFrame(animate);
            }
        } catch (e) {
            failed('The emulator could not start', e);
        }
    };
    // A module that cannot be loaded or stops: said on the page, not only in the console.
    function cannotStart(what, e) {
        if (location.protocol === 'file:') {
            message(true, 'This page needs a web server: browsers do not load its WebAssembly from a file:// address. ' +
                'Serve the folder (make serve-web, or any static web server) and open it from there.');
        } else {
            failed(what, e);
        }
        $('status').textContent = 'Stopped';
    }
    Module.onAbort = (what) => cannotStart('The emulator stopped', what);
    window.addEventListener('unhandledrejection', (e) => {
        if (!started) cannotStart('The emulator could not be loaded', e.reason);
    });
    if (location.protocol === 'file:') cannotStart('', null);  // the module will not load

    if (testMode) {
        window.lvovTest = {
            ready,
            runFrames(n) {
                _lw_run_frames(n);
                draw(false);
            },
            hash: () => UTF8ToString(_lw_state_hash()),
            paused: () => _lw_paused() !== 0,
            title: () => $('title').textContent,
            messages: () => shown.slice(),
            flush: () => persist(),
            // Resolves when the replay under way (or being read from its file) ends: 1 when
            // it reached the recorded state, 0 when not, -1 when none ended.
            replayDone: () =>
                replaying || replayFile ? new Promise((r) => replayWaiters.push(r)) : Promise.resolve(_lw_replay_matched()),
        };
    }
})();
