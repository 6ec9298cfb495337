// nevemulator: the PK-01 Lvov emulator. Parses the command line, then either runs the
// machine headless or opens the main window.
#include <QApplication>
#include <QLocale>
#include <filesystem>
#include <iostream>
#include <memory>

#include "app/command_line.h"
#include "app/data_dirs.h"
#include "app/desktop.h"
#include "app/headless.h"
#include "app/main_form_emu.h"
#include "app/single_instance.h"
#include "core/version.h"
#include "storage/buffers.h"

int main(int argc, char** argv) {
    using namespace lvov;
    std::vector<std::string> args(argv + 1, argv + argc);
    const ParsedCommandLine parsed = parse_command_line(args);
    const CommandLine& options = parsed.options;
    if (!parsed.error.empty()) {
        std::cerr << PROGRAM_NAME << ": " << parsed.error << "\nTry '" << PROGRAM_NAME << " --help'.\n";
        return EXIT_USAGE;
    }
    if (options.help) {
        std::cout << usage_text();
        return EXIT_OK;
    }
    if (options.version) {
        std::cout << version_text();
        return EXIT_OK;
    }

    const auto program_dir = resolve_program_dir(options, argv[0]);
    if (const std::string problem = check_inputs(options, program_dir); !problem.empty()) {
        std::cerr << PROGRAM_NAME << ": " << problem << "\n";
        return EXIT_USAGE;
    }
    // --dir holds everything; otherwise an installed copy, or one in a folder it may not
    // write, keeps its files in the user's data folder.
    const DataDirs dirs =
        options.dir.empty() ? find_data_dirs(program_dir, process_environment()) : DataDirs::beside(program_dir);
    if (options.headless) return run_headless(options, dirs, std::cout, std::cerr);
    if (const std::string problem = make_writable_dir(dirs); !problem.empty()) {
        std::cerr << PROGRAM_NAME << ": " << problem << "\n";
    }

    QApplication app(argc, argv);
    // One copy per data folder writes its slots; a later start hands its file to it.
    SingleInstance instance(dirs.writable);
    const SingleInstance::Outcome claim = instance.claim(options.file.empty() ? "" : absolute_file_name(options.file));
    if (claim.role == SingleInstance::Role::HandedOver) return EXIT_OK;
    if (claim.role == SingleInstance::Role::Owner && !claim.reason.empty())
        std::cerr << PROGRAM_NAME << ": " << claim.reason << "\n";
    set_application_title();
    set_desktop_identity();
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    const auto session = std::make_unique<Session>(dirs);  // outlives the window that shows it
    TMainFormEmu window(*session);
    if (claim.role == SingleInstance::Role::WithoutSlots) {
        session->emu().snapshot_slots.stop_writing(claim.reason);
        window.set_startup_notice(QString::fromStdString(SingleInstance::without_slots_notice(claim.reason)));
    }
    QObject::connect(&instance, &SingleInstance::file_handed, &window, &TMainFormEmu::take_handed_file);
    close_on_termination_signals(window);
    // The name as the host gave it: bytes that are not UTF-8 travel escaped and reach
    // the file system unchanged when the window loads the file.
    if (!options.file.empty()) window.set_startup_file(QString::fromStdU16String(escape_file_name(options.file)));
    window.show();
    return app.exec();
}
