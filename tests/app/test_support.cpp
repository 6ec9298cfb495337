#include "test_support.h"

#include <QApplication>
#include <fstream>

namespace lvov::test {

std::vector<uint8_t> tape_image(uint16_t start, const std::vector<uint8_t>& bytes, uint16_t run) {
    std::vector<uint8_t> image = {'L', 'V', 'O', 'V', '/', '2', '.', '0', '/', 0xD0, 0, 0, 0, 0, 0, 0};
    const uint16_t end = static_cast<uint16_t>(start + bytes.size() - 1);
    for (uint16_t word : {start, end, run}) {
        image.push_back(static_cast<uint8_t>(word));
        image.push_back(static_cast<uint8_t>(word >> 8));
    }
    image.insert(image.end(), bytes.begin(), bytes.end());
    return image;
}

void write_file(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

QKeyEvent key_event(QEvent::Type type, int qt_key, quint32 scan_code, bool auto_repeat) {
    return QKeyEvent(type, qt_key, Qt::NoModifier, scan_code, 0, 0, QString(), auto_repeat);
}

void press(QWidget* target, int qt_key, quint32 scan_code) {
    QKeyEvent e = key_event(QEvent::KeyPress, qt_key, scan_code);
    QApplication::sendEvent(target, &e);
}

void release(QWidget* target, int qt_key, quint32 scan_code) {
    QKeyEvent e = key_event(QEvent::KeyRelease, qt_key, scan_code);
    QApplication::sendEvent(target, &e);
}

bool main_key_held(const MachineState& m, int column, int row) { return (m.kbd_matrix[column] >> row) & 1; }

}  // namespace lvov::test
