// Host key events to virtual-key codes: by physical position, whatever the layout.
#include <QtTest>

#include "devices/host_keys.h"
#include "test_support.h"

using namespace lvov;
using lvov::test::key_event;

class HostKeysTest : public QObject {
    Q_OBJECT
private slots:
    void positionDecidesUnderAnyLayout_data();
    void positionDecidesUnderAnyLayout();
    void leftAndRightModifiersAreOneKey();
    void qtKeyIsTheLastResort();
    void windowsCodesFoldModifierSides();
};

void HostKeysTest::positionDecidesUnderAnyLayout_data() {
    QTest::addColumn<int>("qt_key");
    QTest::addColumn<quint32>("evdev");
    QTest::addColumn<int>("vk");
    // Same key cap, the US legend and what a Russian layout reports for it.
    QTest::newRow("A, US") << int(Qt::Key_A) << 30u << 0x41;
    QTest::newRow("A, Russian Ф") << 0x0424 << 30u << 0x41;
    QTest::newRow("Q, Russian Й") << 0x0419 << 16u << 0x51;
    QTest::newRow("M, Russian Ь") << 0x042C << 50u << 0x4D;
    QTest::newRow("; Russian Ж") << 0x0416 << 39u << 0xBA;
    QTest::newRow(", Russian Б") << 0x0411 << 51u << 0xBC;
    QTest::newRow("` Russian Ё") << 0x0401 << 41u << 0xC0;
    QTest::newRow("/ Russian .") << int(Qt::Key_Period) << 53u << 0xBF;
    QTest::newRow("1 shifted") << int(Qt::Key_Exclam) << 2u << 0x31;
    QTest::newRow("backslash") << int(Qt::Key_Backslash) << 43u << 0xDC;
    QTest::newRow("Tab") << int(Qt::Key_Tab) << 15u << 0x09;
    QTest::newRow("Enter") << int(Qt::Key_Return) << 28u << 0x0D;
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << 96u << 0x0D;
    QTest::newRow("Delete") << int(Qt::Key_Delete) << 111u << 0x2E;
    QTest::newRow("Pause") << int(Qt::Key_Pause) << 119u << 0x13;
    QTest::newRow("Down") << int(Qt::Key_Down) << 108u << 0x28;
    QTest::newRow("F1") << int(Qt::Key_F1) << 59u << 0x70;
    QTest::newRow("F12") << int(Qt::Key_F12) << 88u << 0x7B;
    // A scan code the table does not know: the Qt key decides.
    QTest::newRow("unknown scan, B") << int(Qt::Key_B) << 240u << 0x42;
}

void HostKeysTest::positionDecidesUnderAnyLayout() {
    QFETCH(int, qt_key);
    QFETCH(quint32, evdev);
    QFETCH(int, vk);
    const QKeyEvent e = key_event(QEvent::KeyPress, qt_key, evdev + XKB_EVDEV_OFFSET);
    QCOMPARE(int(host_virtual_key(e)), vk);
}

void HostKeysTest::leftAndRightModifiersAreOneKey() {
    const struct {
        int qt_key;
        quint32 left, right;
        int vk;
    } cases[] = {
        {Qt::Key_Shift, 42, 54, 0x10},
        {Qt::Key_Control, 29, 97, 0x11},
        {Qt::Key_Alt, 56, 100, 0x12},
    };
    for (const auto& c : cases) {
        QCOMPARE(int(host_virtual_key(key_event(QEvent::KeyPress, c.qt_key, c.left + 8))), c.vk);
        QCOMPARE(int(host_virtual_key(key_event(QEvent::KeyPress, c.qt_key, c.right + 8))), c.vk);
    }
    // Right Alt reported as AltGr by a European layout is still Alt.
    QCOMPARE(int(host_virtual_key(key_event(QEvent::KeyPress, Qt::Key_AltGr, 100 + 8))), 0x12);
}

void HostKeysTest::qtKeyIsTheLastResort() {
    // No native scan code at all (a platform that reports none).
    const auto vk = [](int qt_key) { return int(host_virtual_key(key_event(QEvent::KeyPress, qt_key, 0))); };
    QCOMPARE(vk(Qt::Key_Z), 0x5A);
    QCOMPARE(vk(Qt::Key_7), 0x37);
    QCOMPARE(vk(0x0424), 0x41);  // Ф sits on A
    QCOMPARE(vk(0x042E), 0xBE);  // Ю sits on .
    QCOMPARE(vk(Qt::Key_Colon), 0xBA);
    QCOMPARE(vk(Qt::Key_QuoteDbl), 0xDE);
    QCOMPARE(vk(Qt::Key_ParenRight), 0x30);
    QCOMPARE(vk(Qt::Key_F5), 0x74);
    QCOMPARE(vk(Qt::Key_Delete), 0x2E);
    QCOMPARE(vk(Qt::Key_Shift), 0x10);
    QCOMPARE(vk(Qt::Key_VolumeUp), 0);  // no key of the emulated keyboard's world
    QCOMPARE(int(vk_from_evdev(100000)), 0);
}

void HostKeysTest::windowsCodesFoldModifierSides() {
    QCOMPARE(int(vk_from_windows_vk(0xA0)), 0x10);
    QCOMPARE(int(vk_from_windows_vk(0xA1)), 0x10);
    QCOMPARE(int(vk_from_windows_vk(0xA3)), 0x11);
    QCOMPARE(int(vk_from_windows_vk(0xA4)), 0x12);
    QCOMPARE(int(vk_from_windows_vk(0x41)), 0x41);
    QCOMPARE(int(vk_from_windows_vk(0x1234)), 0);
}

QTEST_MAIN(HostKeysTest)
#include "test_host_keys.moc"
