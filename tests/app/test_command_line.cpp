// The command line: option parsing, the headless run and the program's exit statuses.
#include <QImage>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>
#include <iterator>
#include <sstream>

#include <sys/stat.h>

#include "app/command_line.h"
#include "app/headless.h"
#include "app/session.h"
#include "asm/assembler.h"
#include "scratch_mount.h"
#include "storage/recording.h"
#include "test_support.h"

using namespace lvov;
namespace fs = std::filesystem;

class CommandLineTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void parsesOptionsAndFile();
    void refusesBadArguments_data();
    void refusesBadArguments();
    void headlessRunShowsTheFirmware();
    void typedTextChangesThePicture();
    void typedStrokesReleaseEveryKey();
    void fileAndSnapshotAroundTheFrames();
    void programExitStatuses();
    void aRecordedHeadlessRunReplaysToItsState();
    void filesThatAreNotFilesAreRefusedAtOnce();
    void filesNoReaderTakesAreRefused();
    void outputsKeepThePreviousFileOnAFullOrReadOnlyDisk();
    void namesThatAreNotUtf8();

private:
    fs::path dir() const { return fs::path(tmp_->path().toStdString()); }
    // A headless run in the temporary program directory; returns the exit status.
    int run(const CommandLine& o, std::string* messages = nullptr, std::string* output = nullptr) {
        std::ostringstream out, err;
        const int status = run_headless(o, dir(), out, err);
        if (messages) *messages = err.str();
        if (output) *output = out.str();
        return status;
    }
    static CommandLine headless(int frames) {
        CommandLine o;
        o.headless = true;
        o.frames = frames;
        return o;
    }
    std::unique_ptr<QTemporaryDir> tmp_;
};

void CommandLineTest::init() {
    tmp_ = std::make_unique<QTemporaryDir>();
    QVERIFY(tmp_->isValid());
}

void CommandLineTest::parsesOptionsAndFile() {
    auto p = parse_command_line({"--headless", "--frames", "12", "--screenshot=out.png", "--type", "RUN\\n", "--dir",
                                 "/tmp", "--save-snapshot", "end", "game.lvt"});
    QVERIFY2(p.error.empty(), p.error.c_str());
    QVERIFY(p.options.headless);
    QCOMPARE(p.options.frames, 12);
    QCOMPARE(p.options.screenshot, std::string("out.png"));
    QCOMPARE(*p.options.type_text, std::string("RUN\n"));
    QCOMPARE(p.options.dir, std::string("/tmp"));
    QCOMPARE(p.options.save_snapshot, std::string("end"));
    QCOMPARE(p.options.file, std::string("game.lvt"));

    p = parse_command_line({});
    QVERIFY(p.error.empty());
    QVERIFY(!p.options.headless);
    QCOMPARE(p.options.frames, 250);
    QVERIFY(!p.options.type_text);

    // "--" ends the options; "\\" types one backslash.
    p = parse_command_line({"--headless", "--frames=0", "--type", "A\\\\B", "--", "-odd.lvt"});
    QVERIFY(p.error.empty());
    QCOMPARE(p.options.frames, 0);
    QCOMPARE(*p.options.type_text, std::string("A\\B"));
    QCOMPARE(p.options.file, std::string("-odd.lvt"));

    // The limit of --frames is taken, and named when passed.
    QCOMPARE(parse_command_line({"--headless", "--frames", "10000000"}).options.frames, MAX_HEADLESS_FRAMES);
    const std::string too_many = parse_command_line({"--headless", "--frames", "99999999999"}).error;
    QVERIFY2(too_many.find("0 to 10000000") != std::string::npos, too_many.c_str());

    QVERIFY(parse_command_line({"--help", "--bogus-after-help"}).error.size() > 0);
    QVERIFY(parse_command_line({"--version"}).options.version);
}

void CommandLineTest::refusesBadArguments_data() {
    QTest::addColumn<QStringList>("args");
    QTest::newRow("unknown option") << QStringList{"--turbo"};
    QTest::newRow("missing value") << QStringList{"--headless", "--frames"};
    QTest::newRow("negative frames") << QStringList{"--headless", "--frames", "-1"};
    QTest::newRow("text frames") << QStringList{"--headless", "--frames", "12x"};
    QTest::newRow("huge frames") << QStringList{"--headless", "--frames", "99999999999"};
    QTest::newRow("frames past the limit") << QStringList{"--headless", "--frames", "10000001"};
    QTest::newRow("two files") << QStringList{"a.lvt", "b.lvt"};
    QTest::newRow("flag with value") << QStringList{"--headless=yes"};
    QTest::newRow("empty screenshot") << QStringList{"--headless", "--screenshot="};
    QTest::newRow("screenshot without headless") << QStringList{"--screenshot", "a.png"};
    QTest::newRow("empty record") << QStringList{"--record="};
    QTest::newRow("replay and file") << QStringList{"--replay", "r.NevLVR", "a.lvt"};
    QTest::newRow("replay and typing") << QStringList{"--headless", "--replay", "r.NevLVR", "--type", "A"};
    QTest::newRow("replay and frames") << QStringList{"--headless", "--replay", "r.NevLVR", "--frames", "5"};
    QTest::newRow("replay and record") << QStringList{"--replay", "r.NevLVR", "--record", "s.NevLVR"};
}

void CommandLineTest::refusesBadArguments() {
    QFETCH(QStringList, args);
    std::vector<std::string> list;
    for (const QString& a : args) list.push_back(a.toStdString());
    QVERIFY(!parse_command_line(list).error.empty());
}

void CommandLineTest::headlessRunShowsTheFirmware() {
    CommandLine o = headless(100);
    o.screenshot = (dir() / "shot.png").string();
    QCOMPARE(run(o), EXIT_OK);
    QImage shot(QString::fromStdString(o.screenshot));
    QCOMPARE(shot.size(), QSize(256, 256));
    // The firmware's banner: more than one colour, and text in the top rows.
    QSet<QRgb> colours;
    int top_background = 0;
    const QRgb background = shot.pixel(255, 255);
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            colours.insert(shot.pixel(x, y));
            if (y < 16 && shot.pixel(x, y) != background) ++top_background;
        }
    }
    QVERIFY(colours.size() >= 2);
    QVERIFY(top_background > 50);
    // A headless run touches no snapshot slot.
    QVERIFY(!fs::exists(dir() / "OnClose.NevLVE"));
    QVERIFY(!fs::exists(dir() / "onPause.NevLVE"));
    QVERIFY(!fs::exists(dir() / "QuickSave.NevLVE"));
}

void CommandLineTest::typedTextChangesThePicture() {
    CommandLine plain = headless(20);
    plain.screenshot = (dir() / "plain.png").string();
    CommandLine typed = headless(20);
    typed.screenshot = (dir() / "typed.png").string();
    typed.type_text = "H\n";
    QCOMPARE(run(plain), EXIT_OK);
    QCOMPARE(run(typed), EXIT_OK);
    const QImage a(QString::fromStdString(plain.screenshot));
    const QImage b(QString::fromStdString(typed.screenshot));
    QCOMPARE(a.size(), b.size());
    QVERIFY(a != b);

    // A character no key types is refused before anything runs.
    CommandLine bad = headless(0);
    bad.type_text = "\xD0\x96";  // Ж
    std::string messages;
    QCOMPARE(run(bad, &messages), EXIT_USAGE);
    QVERIFY(messages.find("--type") != std::string::npos);
    QVERIFY2(messages.find("'\xD0\x96'") != std::string::npos, messages.c_str());  // the character, not a byte
    bad.type_text = "A\xFF";
    QCOMPARE(run(bad, &messages), EXIT_USAGE);
    QVERIFY2(messages.find("0xFF") != std::string::npos, messages.c_str());
}

// Typing leaves no key held: both matrices are empty afterwards, and the firmware's line
// holds each character once, even a second later, when a held key would have repeated.
void CommandLineTest::typedStrokesReleaseEveryKey() {
    const AssembleResult firmware = assemble_file(fs::path(LVOV_FIRMWARE_DIR) / "main.asm");
    QVERIFY(firmware.ok());
    const auto line = [&firmware](const MachineState& m) {
        const uint16_t buffer = static_cast<uint16_t>(firmware.symbol("LINEBUF").value_or(0));
        const uint8_t length = m.memory[static_cast<uint16_t>(firmware.symbol("LINELEN").value_or(0))];
        return std::string(reinterpret_cast<const char*>(&m.memory[buffer]), length);
    };
    Session session(dir());
    Emulator& emu = session.emu();
    emu.start_up({.read_games = false, .restore_session = false, .boot = true});
    type_text(session, "AB");
    const MachineState& m = emu.machine;
    for (const uint8_t column : m.kbd_matrix) QCOMPARE(column, uint8_t(0));
    for (const uint8_t column : m.kbd_extra) QCOMPARE(column, uint8_t(0));
    for (int i = 0; i < 50; ++i) emu.run_frame();
    QCOMPARE(line(m), std::string("AB"));
    type_text(session, "!");  // a chord of Shift and 1
    for (const uint8_t column : m.kbd_matrix) QCOMPARE(column, uint8_t(0));
    for (int i = 0; i < 50; ++i) emu.run_frame();
    QCOMPARE(line(m), std::string("AB!"));
}

void CommandLineTest::fileAndSnapshotAroundTheFrames() {
    // A program that loops at 8000 after the boot run; the snapshot written at the end
    // shows it running.
    const fs::path tape = dir() / "loop.lvt";
    test::write_file(tape, test::tape_image(0x8000, {0xC3, 0x00, 0x80}, 0x8000));
    CommandLine o = headless(10);
    o.file = tape.string();
    o.save_snapshot = (dir() / "end").string();
    QCOMPARE(run(o), EXIT_OK);
    QVERIFY(fs::exists(dir() / "end.NevLVE"));

    Emulator check(dir());
    QCOMPARE(check.load(check.read_file((dir() / "end.NevLVE").string())), LoadResult::Snapshot);
    QCOMPARE(check.machine.PC, uint16_t(0x8000));
    QCOMPARE(check.machine.memory[0x8000], uint8_t(0xC3));

    // A stop is told on the stream the run is given.
    o.breaks = {0x8000};
    std::string output;
    QCOMPARE(run(o, nullptr, &output), EXIT_OK);
    QVERIFY2(output.rfind("PC=8000 ", 0) == 0, output.c_str());
    o.breaks.clear();

    // An unreadable file stops the run with status 2; a snapshot that cannot be written
    // with status 1.
    o.file = (dir() / "missing.lvt").string();
    std::string messages;
    QCOMPARE(run(o, &messages), EXIT_USAGE);
    QVERIFY(messages.find("missing.lvt") != std::string::npos);
    o.file.clear();
    o.save_snapshot = (dir() / "no" / "such" / "folder" / "x").string();
    QCOMPARE(run(o), EXIT_FAILURE_WRITE);

    // The name written is the one judged: a folder or FIFO "dd" does not stop "dd.NevLVE",
    // and an extension in another letter case is not appended again.
    fs::create_directory(dir() / "dd");
    QVERIFY(mkfifo((dir() / "ff").c_str(), 0644) == 0);
    for (const char* name : {"dd", "ff", "s1.nevlve"}) {
        o.save_snapshot = (dir() / name).string();
        QVERIFY2(check_outputs(o).empty(), check_outputs(o).c_str());
        QCOMPARE(run(o, &messages), EXIT_OK);
    }
    QVERIFY(fs::is_regular_file(dir() / "dd.NevLVE") && fs::is_regular_file(dir() / "ff.NevLVE"));
    QVERIFY(fs::is_regular_file(dir() / "s1.nevlve") && !fs::exists(dir() / "s1.nevlve.NevLVE"));
    o.save_snapshot = (dir() / "dd").string() + "/";
    QVERIFY(!check_outputs(o).empty());
}

namespace {

// The program run to its end, at most `seconds` (a run that blocks fails the test): its
// exit status, or -1 when it crashed or hung.
int run_program(const QStringList& args, QString* err = nullptr, QString* out = nullptr, int seconds = 60) {
    QProcess p;
    p.start(QStringLiteral(NEVEMULATOR_PATH), args);
    if (!p.waitForFinished(seconds * 1000)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    if (err) *err = QString::fromUtf8(p.readAllStandardError());
    if (out) *out = QString::fromUtf8(p.readAllStandardOutput());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

std::vector<uint8_t> bytes_of(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

void CommandLineTest::programExitStatuses() {
    const QString d = tmp_->path();
    QString err, out;
    QCOMPARE(run_program({"--help"}, nullptr, &out), 0);
    QVERIFY(out.contains("Usage"));
    QCOMPARE(run_program({"--version"}, nullptr, &out), 0);
    QVERIFY(out.contains("1.0Beta"));
    QCOMPARE(run_program({"--frobnicate"}, &err), 2);
    QVERIFY(err.contains("--frobnicate"));
    QCOMPARE(run_program({"--headless", "--dir", d, d + "/absent.lvt"}, &err), 2);
    QVERIFY(err.contains("absent.lvt"));
    QCOMPARE(run_program({"--headless", "--dir", d + "/absent-folder"}, &err), 2);
    QCOMPARE(run_program({"--headless", "--dir", d, "--frames", "5", "--screenshot", d + "/s.png"}), 0);
    QVERIFY(QImage(d + "/s.png").width() == 256);
    QCOMPARE(run_program({"--headless", "--dir", d, "--frames", "0", "--screenshot", d + "/none/s.png"}, &err), 1);
    QVERIFY(err.contains("s.png"));
}

// A headless run recorded (a file, typed keys, frames) replays in another folder to the
// same state, exit status 0; one whose final state is not the recorded one gives 4, a
// recording cut short 2, both with their message.
void CommandLineTest::aRecordedHeadlessRunReplaysToItsState() {
    const QString d = tmp_->path();
    QVERIFY(QDir(d).mkdir("elsewhere"));
    test::write_file(dir() / "data.lvt",
                     test::tape_image(0x9000, {1, 2, 3}, 0xC000));  // the firmware starts again over it
    const QString rec = d + "/run.NevLVR";
    QString err, out, replayed;
    QCOMPARE(run_program({"--headless", "--dir", d, "--record", rec, "--type", "D\\n", "--frames", "40",
                          "--save-snapshot", d + "/end", d + "/data.lvt"},
                         &err),
             0);
    QCOMPARE(run_program({"--headless", "--dir", d + "/elsewhere", "--replay", rec, "--save-snapshot", d + "/replayed"},
                         &err, &out),
             0);
    QVERIFY2(out.contains("matches the recorded one"), qPrintable(out + err));
    QVERIFY(bytes_of(dir() / "end.NevLVE") == bytes_of(dir() / "replayed.NevLVE"));

    // The recorded hash changed and the checksum made to match: another state.
    std::vector<uint8_t> file = bytes_of(dir() / "run.NevLVR");
    file[file.size() - 9] ^= 0x01;
    const uint64_t sum = fnv1a(std::span<const uint8_t>(file).first(file.size() - 8));
    for (int i = 0; i < 8; ++i) file[file.size() - 8 + i] = static_cast<uint8_t>(sum >> (8 * i));
    test::write_file(dir() / "other.NevLVR", file);
    QCOMPARE(run_program({"--headless", "--dir", d, "--replay", d + "/other.NevLVR"}, &err), EXIT_REPLAY_MISMATCH);
    QVERIFY2(err.contains("differs from the recorded one"), qPrintable(err));
    file.resize(file.size() / 2);
    test::write_file(dir() / "cut.NevLVR", file);
    QCOMPARE(run_program({"--headless", "--dir", d, "--replay", d + "/cut.NevLVR"}, &err), EXIT_USAGE);
    QVERIFY2(err.contains("cut.NevLVR"), qPrintable(err));
}

void CommandLineTest::filesThatAreNotFilesAreRefusedAtOnce() {
    const QString d = tmp_->path();
    QVERIFY(mkfifo((dir() / "fifo").c_str(), 0644) == 0);
    fs::create_directory(dir() / "folder");
    const QString fifo = d + "/fifo";
    QString err;
    // FILE: a FIFO, a device, a folder.
    for (const QString& input : {fifo, QStringLiteral("/dev/zero"), d + "/folder"}) {
        QCOMPARE(run_program({"--headless", "--dir", d, "--frames", "0", input}, &err), 2);
        QVERIFY2(err.contains(input), qPrintable(err));
    }
    QVERIFY(err.contains("folder"));
    // Outputs: a FIFO, a device, a folder named with a slash.
    QCOMPARE(run_program({"--headless", "--dir", d, "--frames", "0", "--screenshot", fifo}, &err), 2);
    QVERIFY2(err.contains("FIFO"), qPrintable(err));
    QCOMPARE(run_program({"--headless", "--dir", d, "--frames", "0", "--screenshot", "/dev/null"}, &err), 2);
    QVERIFY2(err.contains("device"), qPrintable(err));
    QCOMPARE(run_program({"--headless", "--dir", d, "--frames", "0", "--save-snapshot", d + "/folder/"}, &err), 2);
    QVERIFY2(err.contains("folder"), qPrintable(err));
    QVERIFY2(fs::is_empty(dir() / "folder"), "no hidden .NevLVE");
    QVERIFY(fs::is_fifo(dir() / "fifo"));
    // The key map as a FIFO; a firmware image as a FIFO is reported and passed over.
    fs::rename(dir() / "fifo", dir() / "NEVEmulator.key");
    QCOMPARE(run_program({"--headless", "--dir", d, "--frames", "0"}, &err), 2);
    QVERIFY2(err.contains("NEVEmulator.key"), qPrintable(err));
    fs::create_directory(dir() / "firmware");
    fs::rename(dir() / "NEVEmulator.key", dir() / "firmware" / "image1.rom");
    QCOMPARE(run_program({"--headless", "--dir", d, "--frames", "0"}, &err), 0);
    QVERIFY2(err.contains("image1.rom") && err.contains("FIFO"), qPrintable(err));
}

void CommandLineTest::filesNoReaderTakesAreRefused() {
    // Text, random bytes and files too short for any magic: status 2, the file named,
    // and no picture of a machine that never got the file.
    const QString d = tmp_->path();
    std::vector<uint8_t> noise(300);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(i * 97 + 13);
    const std::pair<const char*, std::vector<uint8_t>> inputs[] = {
        {"notes.txt", {'d', 'e', 'a', 'r', ' ', 'd', 'i', 'a', 'r', 'y', '\n'}},
        {"noise.bin", noise},
        {"empty.lvt", {}},
        {"seven.NevLVE", {'N', 'e', 'v', 'L', 'V', 'E', 'm'}},
    };
    for (const auto& [name, bytes] : inputs) {
        test::write_file(dir() / name, bytes);
        QString err;
        const QString shot = d + "/shot.png";
        QCOMPARE(run_program({"--headless", "--dir", d, "--frames", "0", "--screenshot", shot, d + "/" + name}, &err),
                 2);
        QVERIFY2(err.contains(name) && err.contains("nothing was loaded"), qPrintable(err));
        QVERIFY(!fs::exists(dir() / "shot.png"));
    }
}

void CommandLineTest::outputsKeepThePreviousFileOnAFullOrReadOnlyDisk() {
    test::ScratchMount disk("256k");
    if (!disk.ok()) QSKIP("cannot mount a tmpfs here");
    const QString d = tmp_->path();
    const QString shot = QString::fromStdString((disk / "shot.png").string());
    QCOMPARE(run_program({"--headless", "--dir", d, "--frames", "5", "--screenshot", shot}), 0);
    const auto before = bytes_of(disk / "shot.png");
    QVERIFY(before.size() > 100);
    // A different picture that no longer fits: exit 1, a message, the old picture whole.
    disk.fill();
    QString err;
    QCOMPARE(run_program({"--headless", "--dir", d, "--frames", "50", "--screenshot", shot}, &err), 1);
    QVERIFY2(err.contains("shot.png"), qPrintable(err));
    QVERIFY(bytes_of(disk / "shot.png") == before);
    QCOMPARE(std::distance(fs::directory_iterator(disk.path()), {}), 2);  // no temporary file left
    disk.unfill();
    if (!disk.make_read_only()) QSKIP("cannot remount read-only here");
    QCOMPARE(run_program({"--headless", "--dir", d, "--frames", "50", "--screenshot", shot}, &err), 1);
    QVERIFY(bytes_of(disk / "shot.png") == before);
}

void CommandLineTest::namesThatAreNotUtf8() {
    // A tape and a picture named in window-1251, as an older file system may hold them.
    const std::string tape = (dir() / "\xC8\xE3\xF0\xE0.lvt").string();
    const std::string shot = (dir() / "\xCA\xE0\xE4\xF0.png").string();
    test::write_file(tape, test::tape_image(0x8000, {0xC3, 0x00, 0x80}, 0x8000));
    CommandLine o = headless(3);
    o.file = tape;
    o.screenshot = shot;
    o.save_snapshot = (dir() / "\xC8\xE3\xF0\xE0").string();
    std::string messages;
    QCOMPARE(run(o, &messages), EXIT_OK);
    QVERIFY2(messages.empty(), messages.c_str());
    QVERIFY(fs::is_regular_file(fs::path(shot)));
    const auto png = bytes_of(shot);
    QImage picture;
    QVERIFY(picture.loadFromData(png.data(), static_cast<int>(png.size()), "PNG"));
    QCOMPARE(picture.size(), QSize(256, 256));
    QVERIFY(fs::is_regular_file(fs::path(o.save_snapshot + ".NevLVE")));
    for (const fs::path& p : {fs::path(tape), fs::path(shot), fs::path(o.save_snapshot + ".NevLVE")})
        fs::remove(p);  // beyond QTemporaryDir's own removal
}

QTEST_MAIN(CommandLineTest)
#include "test_command_line.moc"
