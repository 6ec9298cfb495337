// The emulator as a desktop application: where its files live (beside the program or
// in the user's data folder), the shipped catalogue and firmware as fallbacks, the file
// types it declares, and its icon.
#include <QMimeDatabase>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "app/data_dirs.h"
#include "app/desktop.h"
#include "storage/games.h"
#include "test_support.h"

using namespace lvov;
using namespace lvov::test;
namespace fs = std::filesystem;

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

    std::unique_ptr<QTemporaryDir> tmp_;
    QTemporaryDir mime_root_;
};

void DesktopTest::initTestCase() {
    // The file types as installed: the package's XML under <data dir>/mime/packages,
    // found through XDG_DATA_DIRS before the MIME database is first used.
    QVERIFY(mime_root_.isValid());
    const fs::path packages = fs::path(mime_root_.path().toStdString()) / "mime" / "packages";
    fs::create_directories(packages);
    fs::copy_file(fs::path(LVOV_DATA_DIR) / "org.nevemulator.NevEmulator.xml", packages / "org.nevemulator.NevEmulator.xml");
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
    fs::permissions(cd, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                            fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
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

QTEST_MAIN(DesktopTest)
#include "test_desktop.moc"
