// Helpers shared by the application tests: files made byte by byte, key events that
// carry native scan codes, and a main window whose dialogs answer without a modal loop.
#pragma once
#include <QKeyEvent>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "app/main_form_emu.h"

namespace lvov::test {

// A machine-code tape image: the bytes go to start..start+size-1 and run at run.
std::vector<uint8_t> tape_image(uint16_t start, const std::vector<uint8_t>& bytes, uint16_t run);

void write_file(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

// XKB keycodes (evdev + 8) of some keys, as X11 and Wayland report them.
constexpr quint32 SCAN_A = 30 + 8;
constexpr quint32 SCAN_S = 31 + 8;
constexpr quint32 SCAN_O = 24 + 8;
constexpr quint32 SCAN_Q = 16 + 8;
constexpr quint32 SCAN_TAB = 15 + 8;
constexpr quint32 SCAN_ENTER = 28 + 8;
constexpr quint32 SCAN_SPACE = 57 + 8;
constexpr quint32 SCAN_LEFT_ALT = 56 + 8;
constexpr quint32 SCAN_DELETE = 111 + 8;
constexpr quint32 SCAN_PAUSE = 119 + 8;
constexpr quint32 SCAN_DIGIT_0 = 11 + 8;
constexpr quint32 SCAN_DIGIT_1 = 2 + 8;  // digits 1..9 follow on

QKeyEvent key_event(QEvent::Type type, int qt_key, quint32 scan_code, bool auto_repeat = false);

// Sends a press or a release with a native scan code to the widget, as the host would.
void press(QWidget* target, int qt_key, quint32 scan_code);
void release(QWidget* target, int qt_key, quint32 scan_code);

// The session a test window shows: a base of TestForm, so it is made before the window
// and outlives it, as main() arranges for the program. Its clock is the test's when the
// test sets one.
struct OwnSession {
    explicit OwnSession(const std::filesystem::path& program_dir)
        : own_session(std::make_unique<Session>(program_dir, [this] { return clock ? clock() : steady_ms(); })) {}
    std::function<int64_t()> clock;
    std::unique_ptr<Session> own_session;
};

// The main window of its own session in program_dir, with its dialogs and message boxes
// answered by the test.
class TestForm : private OwnSession, public TMainFormEmu {
public:
    explicit TestForm(const std::filesystem::path& program_dir) : OwnSession(program_dir), TMainFormEmu(*own_session) {}
    using OwnSession::clock;
    // The emulator, for a test to set the machine up.
    Emulator& emu() { return session().emu(); }
    QStringList errors;
    QStringList messages;
    QString open_answer;  // "" = the user cancels
    QString save_answer;
    int open_dialogs = 0;
    QString open_title, open_filter, open_dir;

protected:
    QString ask_open_file_name(const QString& title, const QString& dir, const QString& filter) override {
        ++open_dialogs;
        open_title = title;
        open_dir = dir;
        open_filter = filter;
        return open_answer;
    }
    QString ask_save_file_name(const QString&, const QString&) override { return save_answer; }
    void show_error(const QString& text) override { errors << text; }
    void show_message(const QString&, const QString& text) override { messages << text; }
};

// Is main-matrix position column/row held?
bool main_key_held(const MachineState& m, int column, int row);

}  // namespace lvov::test
