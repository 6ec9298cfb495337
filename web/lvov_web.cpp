// The page's C interface: one Session driven from JavaScript.
//
// The page (page.js) owns the animation-frame loop, the keyboard, the buttons and the
// browser's storage; everything the emulator decides happens in the Session, exactly as
// in the desktop window. This file only turns calls of the page into session calls and
// the session's listener calls into calls of the page's `Module.lvov` object.
//
// Files: the page keeps the data folder (/data: snapshot slots, AutoSave/, the key map)
// in IndexedDB and writes it into the in-memory file system before lw_start; the demo
// catalogue is built into the module at /app/GAMES; files the user opens are written
// into /open (the current folder) under their own names, so messages name them as the
// user knows them; downloads are made in /download and removed by the page.
#include <emscripten/emscripten.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "app/session.h"
#include "core/errors.h"
#include "storage/games.h"
#include "storage/recording.h"

namespace lvov {
namespace {

// Calls into the page. Each is defined in JavaScript below and reaches Module.lvov.
// clang-format off
EM_JS(void, js_message, (int error, const char* caption, const char* text), {
    Module.lvov.message(error !== 0, UTF8ToString(caption), UTF8ToString(text));
});
EM_JS(void, js_pause_changed, (int paused), { Module.lvov.pauseChanged(paused !== 0); });
EM_JS(void, js_title_changed, (const char* title), { Module.lvov.titleChanged(UTF8ToString(title)); });
EM_JS(void, js_game_changed, (const char* title), { Module.lvov.gameChanged(UTF8ToString(title)); });
EM_JS(void, js_games_listed, (), { Module.lvov.gamesListed(); });
EM_JS(void, js_speed_changed, (int fps, int cycles), { Module.lvov.speedChanged(fps, cycles); });
EM_JS(void, js_wake_after, (int ms), { Module.lvov.wakeAfter(ms); });
EM_JS(void, js_recording_changed, (int on), { Module.lvov.recordingChanged(on !== 0); });
EM_JS(void, js_replay_changed, (int on), { Module.lvov.replayChanged(on !== 0); });
EM_JS(void, js_reopen_changed, (int on), { Module.lvov.reopenChanged(on !== 0); });
// clang-format on

class PageListener final : public SessionListener {
public:
    void picture_changed() override { picture_dirty = true; }
    void state_replaced() override { picture_dirty = true; }
    void pause_changed(bool paused) override { js_pause_changed(paused ? 1 : 0); }
    void message(const SessionMessage& m) override {
        js_message(m.kind == SessionMessage::Kind::Error ? 1 : 0, m.caption.c_str(), m.text.c_str());
    }
    void title_changed(const std::string& title) override { js_title_changed(title.c_str()); }
    void game_changed(const std::string& title_cp1251) override {
        js_game_changed(cp1251_to_utf8(title_cp1251).c_str());
    }
    void games_listed() override { js_games_listed(); }
    void speed_changed(const SpeedSettings& s) override { js_speed_changed(s.fps, s.cycles_per_frame); }
    void reopen_changed(bool available) override { js_reopen_changed(available ? 1 : 0); }
    std::optional<SpeedSettings> asked_speed() override { return asked; }
    void wake_after(int ms) override { js_wake_after(ms); }
    void recording_changed(bool on) override { js_recording_changed(on ? 1 : 0); }
    void replay_changed(bool on) override { js_replay_changed(on ? 1 : 0); }

    bool picture_dirty = true;
    std::optional<SpeedSettings> asked;
};

struct Page {
    std::unique_ptr<Session> session;
    PageListener listener;
    // The picture as a canvas takes it: R, G, B, A bytes, row after row; the picture it
    // was made from; and the rectangle that changed at the last conversion (x, y, width,
    // height), so the page redraws only that.
    uint8_t rgba[SCREEN_WIDTH * SCREEN_HEIGHT * 4] = {};
    std::array<uint32_t, SCREEN_WIDTH * SCREEN_HEIGHT> converted{};
    bool converted_once = false;
    int32_t changed[4] = {};
    std::string text;  // the last string handed to the page
};

Page* page = nullptr;

Session& session() { return *page->session; }

const char* hand_over(std::string text) {
    page->text = std::move(text);
    return page->text.c_str();
}

// A path chosen by the page, for the session's ask-for-a-file callbacks.
std::function<std::string()> chosen(const char* path) {
    return [name = std::string(path)] { return name; };
}

}  // namespace
}  // namespace lvov

using namespace lvov;

extern "C" {

// Starts the session over the data folder the page has filled: the close slot of the
// last visit is restored when there is one.
// without_slots: not "" when another tab keeps the session of this browser; this page
// then writes no slot (the reason is given to a QuickSave).
EMSCRIPTEN_KEEPALIVE void lw_start(const char* without_slots) {
    if (page) return;
    page = new Page;
    DataDirs dirs;
    dirs.writable = "/data";
    dirs.firmware = {"/data", "/app"};
    dirs.games = {"/app"};
    dirs.beside_program = false;
    page->session = std::make_unique<Session>(dirs);
    page->session->set_listener(&page->listener);
    if (*without_slots) page->session->emu().snapshot_slots.stop_writing(without_slots);
    ::chdir("/open");
    page->session->start_up(false);
}

// Frames due by the page's clock (performance.now()); returns the frames run.
EMSCRIPTEN_KEEPALIVE int lw_run_due(double now_ms) { return session().run_due(static_cast<int64_t>(now_ms)); }
// Frames run at once, whatever the clock says (tests; a replay paced by the page).
EMSCRIPTEN_KEEPALIVE void lw_run_frames(int n) {
    for (int i = 0; i < n; ++i) session().frame_tick();
}
EMSCRIPTEN_KEEPALIVE void lw_wake() { session().wake(); }

// The picture, converted for the canvas when it changed since the last call: returns its
// address then (lw_changed tells where it changed), 0 when nothing changed. Only the
// pixels that differ are converted, and the page redraws only their rectangle: the
// blinking cursor costs an 8-pixel square, not the whole canvas.
EMSCRIPTEN_KEEPALIVE uint8_t* lw_picture() {
    if (!page->listener.picture_dirty) return nullptr;
    page->listener.picture_dirty = false;
    const auto& pixels = session().view().picture.pixels;
    int left = SCREEN_WIDTH, top = SCREEN_HEIGHT, right = -1, bottom = -1;
    for (int y = 0; y < SCREEN_HEIGHT; ++y) {
        for (int x = 0; x < SCREEN_WIDTH; ++x) {
            const size_t i = static_cast<size_t>(y) * SCREEN_WIDTH + static_cast<size_t>(x);
            const uint32_t p = pixels[i];
            if (page->converted_once && p == page->converted[i]) continue;
            page->converted[i] = p;
            uint8_t* out = page->rgba + i * 4;
            out[0] = static_cast<uint8_t>(p >> 16);
            out[1] = static_cast<uint8_t>(p >> 8);
            out[2] = static_cast<uint8_t>(p);
            out[3] = 0xFF;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    page->converted_once = true;
    if (right < 0) return nullptr;
    page->changed[0] = left;
    page->changed[1] = top;
    page->changed[2] = right - left + 1;
    page->changed[3] = bottom - top + 1;
    return page->rgba;
}
// Where the last picture changed: x, y, width, height.
EMSCRIPTEN_KEEPALIVE const int32_t* lw_changed() { return page->changed; }
// The whole picture, whether or not it changed (the first drawing, Save Picture).
EMSCRIPTEN_KEEPALIVE uint8_t* lw_picture_now() {
    page->listener.picture_dirty = true;
    lw_picture();
    page->changed[0] = 0;
    page->changed[1] = 0;
    page->changed[2] = SCREEN_WIDTH;
    page->changed[3] = SCREEN_HEIGHT;
    return page->rgba;
}

EMSCRIPTEN_KEEPALIVE void lw_key(int vk, int down) {
    const auto code = static_cast<uint8_t>(vk);
    if (down) {
        session().key_down(code);
    } else {
        session().key_up(code);
    }
}

EMSCRIPTEN_KEEPALIVE int lw_paused() { return session().paused() ? 1 : 0; }
EMSCRIPTEN_KEEPALIVE void lw_pause_command() { session().pause_command(); }
EMSCRIPTEN_KEEPALIVE void lw_reset(int quick) { session().reset_command(quick ? ResetKind::Quick : ResetKind::Full); }

// Open (the file picker): the file in the current folder, then ReOpen's.
EMSCRIPTEN_KEEPALIVE void lw_open(const char* name) { session().open(chosen(name)); }
EMSCRIPTEN_KEEPALIVE void lw_reopen() { session().reopen(); }
// A file dropped on the page: loaded as it is, the machine running on.
EMSCRIPTEN_KEEPALIVE void lw_drop(const char* name) { session().drop_file(name); }

EMSCRIPTEN_KEEPALIVE int lw_games_count() { return session().view().games.game_count(); }
EMSCRIPTEN_KEEPALIVE const char* lw_game_title(int index) {
    const auto& names = session().view().games.names;
    if (index < 0 || index >= static_cast<int>(names.size())) return hand_over("");
    return hand_over(cp1251_to_utf8(names[static_cast<size_t>(index)]));
}
EMSCRIPTEN_KEEPALIVE void lw_choose_game(int index) { session().choose_game(index); }

// The speed the page's fields ask for, applied as the desktop's locked fields are.
EMSCRIPTEN_KEEPALIVE void lw_set_speed(int fps, int cycles) {
    page->listener.asked = SpeedSettings{fps, cycles};
    session().apply_speed_settings();
}

EMSCRIPTEN_KEEPALIVE void lw_quick_save() { session().quick_save(); }
EMSCRIPTEN_KEEPALIVE void lw_quick_open() { session().quick_open(); }
// The page is going away: a recording is written, then the pause slot's kept state and
// the close slot. Hidden (perhaps for good): the same, the recording going on.
EMSCRIPTEN_KEEPALIVE void lw_close() { session().close(); }
EMSCRIPTEN_KEEPALIVE void lw_keep_session() { session().keep_session(); }
// Save... into path; returns the path written ("" when it failed, with a message).
EMSCRIPTEN_KEEPALIVE const char* lw_save_as(const char* path) {
    std::string written;
    session().command([&] { written = session().emu().save_as(path); });
    return hand_over(written);
}

EMSCRIPTEN_KEEPALIVE void lw_rewind_back() { session().rewind_back(); }
EMSCRIPTEN_KEEPALIVE void lw_rewind_forward() { session().rewind_forward(); }

EMSCRIPTEN_KEEPALIVE void lw_start_recording(const char* path) { session().start_recording(path); }
EMSCRIPTEN_KEEPALIVE void lw_stop_recording() { session().stop_recording(); }
EMSCRIPTEN_KEEPALIVE int lw_recording() { return session().recording() ? 1 : 0; }
EMSCRIPTEN_KEEPALIVE void lw_start_replay(const char* path) { session().start_replay(path); }
EMSCRIPTEN_KEEPALIVE void lw_stop_replay() { session().stop_replay(); }
EMSCRIPTEN_KEEPALIVE int lw_replaying() { return session().replaying() ? 1 : 0; }
// How the last replay ended: 1 matched, 0 differed, -1 none.
EMSCRIPTEN_KEEPALIVE int lw_replay_matched() {
    const auto& outcome = session().replay_outcome();
    return outcome ? (outcome->matched ? 1 : 0) : -1;
}

// The hash of the whole machine state, as recordings carry it (hexadecimal).
EMSCRIPTEN_KEEPALIVE const char* lw_state_hash() { return hand_over(hash_text(state_hash(session().machine()))); }

}  // extern "C"
