// The emulator as a desktop application: where its files live (beside the program or
// in the user's data folder), the shipped catalogue and firmware as fallbacks, the file
// types it declares, its icon; full screen, the picture's scaling and Save Picture.
#include <QMenuBar>
#include <QMimeDatabase>
#include <QScreen>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "app/data_dirs.h"
#include "app/desktop.h"
#include "storage/games.h"
#include "storage/program_files.h"
#include "test_support.h"

using namespace lvov;
using namespace lvov::test;
namespace fs = std::filesystem;

namespace {

// The main window with the Save Picture dialog answered by the test.
class PictureForm : public TestForm {
public:
    explicit PictureForm(const fs::path& dir) : TestForm(dir) {}
    QString picture_answer;  // "" = the user cancels
    int picture_filter = 0;
    QStringList picture_filters;

protected:
    QString ask_picture_file_name(const QString&, const QStringList& filters, int& chosen) override {
        picture_filters = filters;
        chosen = picture_filter;
        return picture_answer;
    }
};

}  // namespace

class DesktopTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void filesStayBesideAWritableCopy();
    void readOnlyOrInstalledCopiesUseTheUserDataFolder();
    void userCatalogueAndFirmwareComeBeforeTheShippedOnes();
    void fileTypesAreKnownByMagicAndName();
    void iconCarriesEverySize();

    void pictureKeepsItsSquareCentredOnBlack();
    void fullScreenFromMenuDoubleClickAndKeys();
    void savePictureWritesPng();

private:
    fs::path tmp() const { return fs::path(tmp_->path().toStdString()); }
    static void write_index(const fs::path& root, const std::string& lines) {
        fs::create_directories(root / "GAMES");
        std::ofstream(root / "GAMES" / "index.ini", std::ios::binary) << lines;
    }
    static void write_rom(const fs::path& root, int n, size_t size, uint8_t fill) {
        fs::create_directories(root / "firmware");
        write_file(root / "firmware" / ("image" + std::to_string(n) + ".rom"), std::vector<uint8_t>(size, fill));
    }

    // A shown window after its start-up, paused, with a picture of four colour bands.
    std::unique_ptr<PictureForm> shown_form() {
        auto form = std::make_unique<PictureForm>(tmp());
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get())) return nullptr;
        form->FirstPusk();
        form->pause(true);
        MachineState& m = form->emu().machine;
        for (int a = 0; a < 0x4000; ++a) m.vram[a] = std::array<uint8_t, 4>{0x00, 0xF0, 0x0F, 0xFF}[a / 0x1000];
        form->session().repaint();
        return form;
    }
    static QRgb pixel_at(QWidget* w, QPoint p) { return w->grab().toImage().pixel(p); }

    std::unique_ptr<QTemporaryDir> tmp_;
    QTemporaryDir mime_root_;
};

void DesktopTest::initTestCase() {
    // The file types as installed: the package's XML under <data dir>/mime/packages,
    // found through XDG_DATA_DIRS before the MIME database is first used.
    QVERIFY(mime_root_.isValid());
    const fs::path packages = fs::path(mime_root_.path().toStdString()) / "mime" / "packages";
    fs::create_directories(packages);
    fs::copy_file(fs::path(LVOV_DATA_DIR) / "org.nevemulator.NevEmulator.xml",
                  packages / "org.nevemulator.NevEmulator.xml");
    const QByteArray dirs = mime_root_.path().toUtf8() + ":/usr/local/share:/usr/share";
    qputenv("XDG_DATA_DIRS", dirs);
}

void DesktopTest::init() {
    tmp_ = std::make_unique<QTemporaryDir>();
    QVERIFY(tmp_->isValid());
}

void DesktopTest::cleanup() {
    // Give write permission back so the folder can be removed.
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(tmp(), ec); it != fs::recursive_directory_iterator(); ++it) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    tmp_.reset();
}

void DesktopTest::filesStayBesideAWritableCopy() {
    const fs::path prog = tmp() / "usb-stick";
    fs::create_directories(prog);
    const DataEnvironment env{(tmp() / "xdg").string(), (tmp() / "home").string()};
    const DataDirs dirs = find_data_dirs(prog, env);
    QVERIFY(dirs.beside_program);
    QCOMPARE(dirs.writable, prog);
    QCOMPARE(dirs.firmware, std::vector<fs::path>{prog});
    QCOMPARE(dirs.games_root(), prog);
    // Nothing is made outside the program's folder.
    QVERIFY(make_writable_dir(dirs).empty());
    QVERIFY(!fs::exists(tmp() / "xdg"));

    // A read-only copy without a usable home folder stays beside the program too.
    fs::permissions(prog, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    QVERIFY(!folder_writable(prog));
    QCOMPARE(find_data_dirs(prog, DataEnvironment{"", ""}).writable, prog);
}

void DesktopTest::readOnlyOrInstalledCopiesUseTheUserDataFolder() {
    // A copy in a folder it may not write (even for the superuser: no write bit at all).
    const fs::path cd = tmp() / "cdrom";
    fs::create_directories(cd);
    fs::permissions(cd, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec);
    const fs::path xdg = tmp() / "xdg";
    DataDirs dirs = find_data_dirs(cd, DataEnvironment{xdg.string(), (tmp() / "home").string()});
    QVERIFY(!dirs.beside_program);
    QCOMPARE(dirs.writable, xdg / "nevemulator");
    QCOMPARE(dirs.firmware, (std::vector<fs::path>{xdg / "nevemulator", cd}));
    QCOMPARE(dirs.games, (std::vector<fs::path>{xdg / "nevemulator", cd}));
    // The folder is made, parents included, when the window starts.
    QVERIFY(make_writable_dir(dirs).empty());
    QVERIFY(fs::is_directory(xdg / "nevemulator"));

    // A relative XDG_DATA_HOME does not count; HOME decides.
    dirs = find_data_dirs(cd, DataEnvironment{"relative/share", (tmp() / "home").string()});
    QCOMPARE(dirs.writable, tmp() / "home" / ".local" / "share" / "nevemulator");

    // An installed copy uses the user's folder even where it may write its own (the
    // superuser's /usr/bin, a ~/.local prefix), with <prefix>/share/nevemulator shipped.
    const fs::path prefix = tmp() / "prefix";
    fs::create_directories(prefix / "bin");
    fs::create_directories(prefix / "share" / "nevemulator");
    QCOMPARE(installed_data_dir(prefix / "bin"), prefix / "share" / "nevemulator");
    dirs = find_data_dirs(prefix / "bin", DataEnvironment{"", (tmp() / "home").string()});
    QVERIFY(!dirs.beside_program);
    QCOMPARE(dirs.writable, tmp() / "home" / ".local" / "share" / "nevemulator");
    QCOMPARE(dirs.firmware.back(), prefix / "share" / "nevemulator");

    // The About box names the README relative to the program: installed, beside it, or
    // nowhere near (no path of the build machine either way).
    QCOMPARE(readme_beside_program(prefix / "bin"), std::string());
    fs::create_directories(prefix / "share" / "doc" / "nevemulator");
    write_file(prefix / "share" / "doc" / "nevemulator" / "README.md", {'#'});
    QCOMPARE(readme_beside_program(prefix / "bin"), std::string("../share/doc/nevemulator/README.md"));
    write_file(prefix / "bin" / "README.md", {'#'});
    QCOMPARE(readme_beside_program(prefix / "bin"), std::string("README.md"));
}

void DesktopTest::userCatalogueAndFirmwareComeBeforeTheShippedOnes() {
    const fs::path user = tmp() / "user";
    const fs::path shipped = tmp() / "shipped";
    fs::create_directories(user);
    DataDirs dirs;
    dirs.writable = user;
    dirs.firmware = {user, shipped};
    dirs.games = {user, shipped};

    // Without an index of the user's own, the shipped demos are listed, their files
    // found beside the shipped index.
    write_index(shipped, "Snake=snake.lvt\r\n");
    QCOMPARE(dirs.games_root(), shipped);
    GamesCatalogue games;
    games.FillGamesList(dirs.games_root());
    QCOMPARE(games.paths, std::vector<std::string>{(shipped / "GAMES" / "snake.lvt").string()});
    write_index(user, "Mine=mine.lvt\r\n");
    QCOMPARE(dirs.games_root(), user);

    // Each image from the first folder that holds an acceptable one: the user's image 1
    // is refused for its size (and named), so the shipped one is used; image 2 is the
    // user's; image 3 exists nowhere.
    write_rom(shipped, 1, ROM_IMAGE_SIZE, 0x11);
    write_rom(shipped, 2, ROM_IMAGE_SIZE, 0x12);
    write_rom(user, 1, 100, 0x21);
    write_rom(user, 2, ROM_IMAGE_SIZE, 0x22);
    RomImages roms = load_rom_images(dirs.firmware);
    QVERIFY(!roms.image1_builtin);
    QCOMPARE((*roms.image[0])[0], uint8_t(0x11));
    QCOMPARE((*roms.image[1])[0], uint8_t(0x22));
    QVERIFY(!roms.image[2]);
    QCOMPARE(roms.problems.size(), size_t(1));
    QVERIFY(roms.problems[0].find((user / "firmware" / "image1.rom").string()) != std::string::npos);

    write_rom(user, 1, ROM_IMAGE_SIZE, 0x21);
    roms = load_rom_images(dirs.firmware);
    QCOMPARE((*roms.image[0])[0], uint8_t(0x21));
    QVERIFY(roms.problems.empty());
}

void DesktopTest::fileTypesAreKnownByMagicAndName() {
    QMimeDatabase db;
    const auto type_of = [&](const std::string& name, const std::string& bytes) {
        write_file(tmp() / name, std::vector<uint8_t>(bytes.begin(), bytes.end()));
        return db.mimeTypeForFile(QString::fromStdString((tmp() / name).string())).name();
    };
    const std::string padding(64, '\0');
    // By content, whatever the name.
    QCOMPARE(type_of("tape", "LVOV/2.0/\xD0" + padding), QStringLiteral("application/x-lvov-tape"));
    QCOMPARE(type_of("dump.bin", "LVOV/DUMP" + padding), QStringLiteral("application/x-lvov-dump"));
    QCOMPARE(type_of("state", "NevLVEmu\x32" + padding), QStringLiteral("application/x-nevemulator-snapshot"));
    // .sav is shared with another program's files: the magic tells them apart.
    QCOMPARE(type_of("game.sav", "LVOV/DUMP" + padding), QStringLiteral("application/x-lvov-dump"));
    // By name alone.
    QCOMPARE(db.mimeTypeForFile(QStringLiteral("/nowhere/x.lvt"), QMimeDatabase::MatchExtension).name(),
             QStringLiteral("application/x-lvov-tape"));
    QCOMPARE(db.mimeTypeForFile(QStringLiteral("/nowhere/x.NevLVE"), QMimeDatabase::MatchExtension).name(),
             QStringLiteral("application/x-nevemulator-snapshot"));
}

void DesktopTest::iconCarriesEverySize() {
    // The icon comes from resources linked into the program.
    const QIcon icon = application_icon();
    const QList<QSize> sizes = icon.availableSizes();
    QVERIFY(sizes.contains(QSize(16, 16)));
    QVERIFY(sizes.contains(QSize(256, 256)));
    QCOMPARE(icon.pixmap(QSize(48, 48)).size(), QSize(48, 48));
}

void DesktopTest::pictureKeepsItsSquareCentredOnBlack() {
    // The largest whole multiple that fits, centred; an area below 256 shrinks it.
    QCOMPARE(fit_picture(QSize(776, 483), PictureScale::Whole), QRect(260, 113, 256, 256));
    QCOMPARE(fit_picture(QSize(1920, 1080), PictureScale::Whole), QRect(448, 28, 1024, 1024));
    QCOMPARE(fit_picture(QSize(1920, 1080), PictureScale::Fill), QRect(420, 0, 1080, 1080));
    QCOMPARE(fit_picture(QSize(1920, 1080), PictureScale::Smooth), QRect(420, 0, 1080, 1080));
    QCOMPARE(fit_picture(QSize(300, 200), PictureScale::Whole), QRect(50, 0, 200, 200));
    QVERIFY(fit_picture(QSize(0, 0), PictureScale::Whole).isEmpty());

    // In the window: the view follows its size and the menu's choice, black around.
    auto form = shown_form();
    QVERIFY(form);
    form->resize(700, 700);
    QWidget* view = form->PictureView_;
    QTRY_COMPARE(form->picture_rect(), fit_picture(view->size(), PictureScale::Whole));
    const QRect whole = form->picture_rect();
    QCOMPARE(whole.width() % 256, 0);
    QCOMPARE(pixel_at(view, QPoint(0, 0)), qRgb(0, 0, 0));
    QCOMPARE(pixel_at(view, whole.topLeft() + QPoint(2, 2)),
             QRgb(form->emu().picture.pixels[2 * 256 + 2]) | 0xFF000000);
    form->MenuScaleFill->trigger();
    QCOMPARE(form->picture_rect(), fit_picture(view->size(), PictureScale::Fill));
    QVERIFY(form->picture_rect().width() > whole.width());
    QVERIFY(form->MenuScaleFill->isChecked() && !form->MenuScaleWhole->isChecked());
}

void DesktopTest::fullScreenFromMenuDoubleClickAndKeys() {
    auto form = shown_form();
    QVERIFY(form);
    QWidget* view = form->PictureView_;
    const QSize normal = form->size();

    // From the View menu (F11 while paused): only the picture, on the whole screen.
    QCOMPARE(form->MenuFullScreen->shortcut(), QKeySequence(Qt::Key_F11));
    form->MenuFullScreen->trigger();
    QTRY_VERIFY(form->isFullScreen());
    QVERIFY(form->MenuFullScreen->isChecked());
    QVERIFY(form->menuBar()->isHidden());
    QVERIFY(form->ToolBar1->isHidden());
    QTRY_COMPARE(view->size(), form->screen()->geometry().size());
    QCOMPARE(form->picture_rect(), fit_picture(view->size(), PictureScale::Whole));

    // The menu's shortcuts still answer with the menu bar hidden: F11 leaves.
    QTest::keyClick(view, Qt::Key_F11);
    QTRY_VERIFY(!form->isFullScreen());
    QVERIFY(form->menuBar()->isVisible());
    QVERIFY(form->ToolBar1->isVisible());
    QTRY_COMPARE(form->size(), normal);

    // A double-click toggles it at any time, also while the machine runs; there Esc is
    // a key of the machine and leaves nothing.
    form->pause(false);
    QVERIFY(form->MenuFullScreen->shortcut().isEmpty());
    QTest::mouseDClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    QTRY_VERIFY(form->isFullScreen());
    QVERIFY(!form->paused());
    QTest::keyClick(view, Qt::Key_Escape);
    QVERIFY(form->isFullScreen());
    QTest::mouseDClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    QTRY_VERIFY(!form->isFullScreen());

    // Esc while paused leaves full screen; in a window it does nothing.
    QTest::mouseDClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    QTRY_VERIFY(form->isFullScreen());
    form->pause(true);
    QTest::keyClick(view, Qt::Key_Escape);
    QTRY_VERIFY(!form->isFullScreen());
    QTest::keyClick(view, Qt::Key_Escape);
    QVERIFY(!form->isFullScreen());
    QVERIFY(form->errors.isEmpty());
}

void DesktopTest::savePictureWritesPng() {
    auto form = shown_form();
    QVERIFY(form);
    form->resize(700, 700);
    QTRY_COMPARE(form->picture_rect().width(), 512);
    const auto& pixels = form->emu().picture.pixels;

    // 256 x 256, the picture's own pixels; ".png" added.
    QCOMPARE(form->MenuSavePicture->shortcut(), QKeySequence(QStringLiteral("Ctrl+P")));
    form->picture_answer = QString::fromStdString((tmp() / "shot").string());
    form->MenuSavePicture->trigger();
    QCOMPARE(form->picture_filters.size(), 2);
    QImage saved(QString::fromStdString((tmp() / "shot.png").string()));
    QCOMPARE(saved.size(), QSize(256, 256));
    for (const QPoint p : {QPoint(0, 0), QPoint(255, 70), QPoint(3, 130), QPoint(255, 255)}) {
        QCOMPARE(saved.pixel(p) & 0xFFFFFF, pixels[p.y() * 256 + p.x()] & 0xFFFFFF);
    }
    QVERIFY(form->paused());

    // As the window shows it: twice the size, each pixel doubled.
    form->picture_filter = 1;
    form->picture_answer = QString::fromStdString((tmp() / "big.PNG").string());
    form->MenuSavePicture->trigger();
    saved = QImage(QString::fromStdString((tmp() / "big.PNG").string()));
    QCOMPARE(saved.size(), QSize(512, 512));
    QCOMPARE(saved.pixel(511, 300) & 0xFFFFFF, pixels[150 * 256 + 255] & 0xFFFFFF);

    // A folder that does not exist: one message, no file, and the machine stays paused.
    form->pause(false);
    form->picture_answer = QString::fromStdString((tmp() / "missing" / "shot.png").string());
    form->MenuSavePicture->trigger();
    QCOMPARE(form->errors.size(), 1);
    QVERIFY(!fs::exists(tmp() / "missing"));
    QVERIFY(form->paused());
}

QTEST_MAIN(DesktopTest)
#include "test_desktop.moc"
