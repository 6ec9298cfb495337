// Writes the seed corpora of the fuzz targets: build-fuzz/fuzz/fuzz_make_seeds DIR writes
// DIR/<target>/... (the repository keeps its output in tests/fuzz/corpus). Every file is
// made by the project's own writers (SaveSnapshot, the assembler's tape image) or, for
// the older formats no writer produces any more, laid out byte by byte here.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "asm/assembler.h"
#include "core/rom.h"
#include "devices/keyboard.h"
#include "storage/buffers.h"
#include "storage/images.h"
#include "storage/recording.h"
#include "storage/snapshot.h"

using namespace lvov;
namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

fs::path out_dir;

void write(const std::string& target, const std::string& name, const Bytes& bytes) {
    const fs::path dir = out_dir / target;
    fs::create_directories(dir);
    FILE* f = std::fopen((dir / name).c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
        std::fprintf(stderr, "cannot write %s\n", (dir / name).c_str());
        std::exit(1);
    }
}

void write_text(const std::string& target, const std::string& name, const std::string& text) {
    write(target, name, Bytes(text.begin(), text.end()));
}

AssembleResult assembled(const std::string& source) {
    AssembleResult r = assemble_text(source, "seed");
    if (!r.ok()) {
        for (const AsmError& e : r.errors) std::fprintf(stderr, "%s\n", e.text().c_str());
        std::exit(1);
    }
    return r;
}

void append(Bytes& out, const uint8_t* p, size_t n) { out.insert(out.end(), p, p + n); }

void append_registers(Bytes& out, const MachineState& m) {
    const uint8_t r[] = {
        m.B, m.C, m.D, m.E, m.H, m.L, m.A, m.F, uint8_t(m.SP), uint8_t(m.SP >> 8), uint8_t(m.PC), uint8_t(m.PC >> 8)};
    append(out, r, sizeof r);
}

Bytes snapshot_header(uint8_t version) {
    Bytes b(SNAPSHOT_MAGIC, SNAPSHOT_MAGIC + 8);
    b.push_back(version);
    return b;
}

// A machine after a reset with a little program and picture in it.
std::unique_ptr<MachineState> sample_machine(const RomImages& roms) {
    auto m = std::make_unique<MachineState>();
    ResetComp(*m, roms);
    const AssembleResult prog = assembled("ORG 8000H\nLXI SP,0AFC0H\nMVI A,55H\nLOOP: STA 9000H\nINR A\nJMP LOOP\n");
    for (uint32_t a = 0x8000; a <= 0x800F; ++a) m->memory[a] = prog.memory[a];
    for (uint32_t a = 0; a < 64; ++a) m->vram[0x100 + a] = static_cast<uint8_t>(0xF0 ^ a);
    m->port_latches[LATCH_PALETTE] = 0x12;
    m->A = 0x55, m->B = 1, m->F = 0x46, m->SP = 0xAFC0, m->PC = 0x8005;
    return m;
}

void image_seeds() {
    // The built-in firmware taken as image 1, so that a snapshot names it by number.
    RomImages roms = builtin_rom_images();
    roms.image1_builtin = false;
    ByteBufferBank bank;
    auto m = sample_machine(roms);
    const fs::path tmp = fs::temp_directory_path() / "lvov-seed.NevLVE";
    auto saved = [&] {
        SaveSnapshot(bank, *m, roms, tmp.string());
        return Bytes(bank.data(1), bank.data(1) + bank.cursor(1));
    };

    write("image", "snapshot-32-firmware1.NevLVE", saved());
    m->memory[0xC123] ^= 0xFF;  // the firmware area matches no known image: stored in full
    write("image", "snapshot-32-other-firmware.NevLVE", saved());
    m->memory[0xC123] ^= 0xFF;
    m->PC = 0x0012;  // the stream ends in zeros
    write("image", "snapshot-32-low-pc.NevLVE", saved());
    m->PC = 0x8005;
    fs::remove(tmp);

    // Version 0x31: the whole address space zero-run coded, latches complemented.
    bank.ZeroRunBegin(1);
    bank.PutString(1, SNAPSHOT_MAGIC);
    bank.PutByte(1, 0x31);
    bank.ZeroRunPutBytes(m->memory.data(), MEMORY_SIZE);
    bank.ZeroRunPutBytes(m->vram.data(), VRAM_SIZE);
    for (uint8_t latch : m->port_latches) bank.ZeroRunPutByte(latch ^ 0xFF);
    for (uint8_t r : {m->B, m->C, m->D, m->E, m->H, m->L, m->A, m->F}) bank.ZeroRunPutByte(r);
    bank.ZeroRunPutWord(m->SP);
    bank.ZeroRunPutWord(m->PC);
    bank.ZeroRunFlush();
    write("image", "snapshot-31.NevLVE", Bytes(bank.data(1), bank.data(1) + bank.cursor(1)));

    // Versions 01 and 02: raw sections, latches as they are.
    Bytes v1 = snapshot_header(0x01);
    append(v1, m->memory.data(), MEMORY_SIZE);
    append(v1, m->vram.data(), VRAM_SIZE);
    append(v1, m->port_latches.data(), 256);
    append_registers(v1, *m);
    write("image", "snapshot-01.NevLVE", v1);

    Bytes v2 = snapshot_header(0x02);
    append(v2, m->memory.data(), ROM_START);
    v2.push_back(1);  // rom_id 1: no firmware bytes follow
    append(v2, m->vram.data(), VRAM_SIZE);
    append(v2, m->port_latches.data(), 256);
    append_registers(v2, *m);
    write("image", "snapshot-02.NevLVE", v2);

    // Dump image.
    Bytes dump(DUMP_MAGIC, DUMP_MAGIC + 9);
    dump.resize(DUMP_DATA, ' ');
    append(dump, m->memory.data(), MEMORY_SIZE);
    append(dump, m->vram.data(), VRAM_SIZE);
    append(dump, m->port_latches.data(), 256);
    append_registers(dump, *m);
    write("image", "dump.sav", dump);

    // Tape images: machine code from the assembler, a BASIC program, and the same
    // machine code behind the snapshot magic (version 03).
    const AssembleResult prog = assembled("ORG 9000H\nSTART: MVI A,0AAH\nSTA 0B000H\nRET\nDB 'LVOV'\n");
    const Bytes tape = tape_image(prog, "SEED", 0x9000);
    write("image", "tape-code.lvt", tape);
    Bytes v3 = snapshot_header(0x03);
    v3.insert(v3.end(), tape.begin() + 9, tape.end());
    write("image", "snapshot-03.NevLVE", v3);
    Bytes basic(TAPE_MAGIC, TAPE_MAGIC + 9);
    basic.push_back(0xD3);
    for (char c : std::string("BASIC ")) basic.push_back(static_cast<uint8_t>(c));
    const char program[] = "\x0A\x00\x10\x00\x99\"HELLO\"\x00\x00\x00";
    append(basic, reinterpret_cast<const uint8_t*>(program), sizeof program - 1);
    basic.push_back(0x00);  // the last byte, not loaded
    write("image", "tape-basic.lvt", basic);
}

void keymap_seeds() {
    const KeyTables t = default_key_tables();
    Bytes file;
    for (KeyCode c : t.latin) file.push_back(uint8_t(c)), file.push_back(uint8_t(c >> 8));
    for (KeyCode c : t.cyrillic) file.push_back(uint8_t(c)), file.push_back(uint8_t(c >> 8));
    write("keymap", "default.key", file);
    // Events after the table: press A, flip to Cyrillic, press Ctrl, release A, release
    // Ctrl, press S and Q, pause, press Down.
    const uint8_t script[] = {0, 0x41, 2, 0, 0, 0x11, 1, 0x41, 1, 0x11, 0, 0x53, 0, 0x51, 3, 0, 0, 0x28};
    Bytes with_keys = file;
    append(with_keys, script, sizeof script);
    write("keymap", "default-with-keys.key", with_keys);
    Bytes both = file;  // one code naming a key in each matrix
    both[2 * 0x41] = 0x12, both[2 * 0x41 + 1] = 0x33;
    append(both, script, sizeof script);
    write("keymap", "both-matrices.key", both);
    write("keymap", "short.key", Bytes(file.begin(), file.begin() + 100));
}

void games_seeds() {
    write_text("games", "plain.ini", "[Games]\nRace=race.lvt\nSnake=snake.lvt\nDemo=D:\\lvov\\demo.sav\n");
    write_text("games", "crlf-cases.ini",
               "Race=race.lvt\r\nRACE=other.lvt\r\n\xC8\xE3\xF0\xE0=game.lvt\r\n\xE8\xc3\xd0\xc0=second.lvt\r\n"
               ";comment=x\r\nno equals here\r\nsub=folder\\sub.lvt\r\n");
    write_text("games", "odd-bytes.ini", "\x98\xB8\xA8=x.lvt\n=empty title\ntitle=\nA=B=C\n");
}

void asm_seeds() {
    const std::string main =
        "; a little of everything\n"
        "BASE EQU 8000H\n"
        "COUNT = 10\n"
        "\tORG BASE\n"
        "START:\tLXI SP,0AFC0H\n"
        "\tMVI B,COUNT\n"
        ".loop:\tMOV A,B\n"
        "\tCPI 'A'\n"
        "\tJNZ .loop\n"
        "\tCALL SUB1\n"
        "\tLDA DATA+1\n"
        "\tRST 7\n"
        "\tINCLUDE \"part.inc\"\n"
        "DATA:\tDB 1,2,3,\"text\",0FFH,-1\n"
        "\tDW START,$,HIGH BASE,LOW(BASE+1)\n"
        "\tDS 4\n"
        "\tDS 2,0E5H\n"
        "\tINCBIN \"data.bin\"\n"
        "\tEND\n";
    const std::string part = "SUB1:\tPUSH PSW\n\tXRA A\n\tPOP PSW\n\tRET\n";
    const std::string bin = "\x01\x02\x03\x00\xFF";
    std::string all = main;
    all += '\0';
    all += part;
    all += '\0';
    all += bin;
    write_text("asm", "program.txt", all);
    write_text("asm", "numbers.txt",
               "ORG 100H\nDB 123,123D,0FFH,0xFF,$FF,1010B,0b1010,17Q,17O,'''',~1&0FFH,(3<<2)|1,7%3,10/3,2^3\n"
               "DW 65535,-32768\nMOV M,A\nLHLD 1234H\nSHLD 1234H\nXCHG\nXTHL\nSPHL\nPCHL\nHLT\nEI\nDI\n");
    // Sections placed back to back and out of order: one changed digit makes them overlap.
    write_text("asm", "sections.txt",
               "\tORG 100H\nFIRST:\tDB 1,2,3\n\tORG 200H\n\tDW FIRST,SECOND\n\tORG 103H\nSECOND:\tDB 4\n"
               "\tDS 3,0\n\tORG 1FFH\n\tNOP\n");
    write_text("asm", "org.txt", "ORG 1\nDB 1\nORG 2\nDW 2\n");
    write_text("asm", "errors.txt",
               "\tMOOV A,B\n\tMVI A,300\n\tJMP NOWHERE\nA: NOP\nA: NOP\nX EQU Y\nY EQU X\n\tORG 0FFFFH\n\tDW 1\n");
}

// Interpreter input: registers, budget, latches C2 D0 D2, matrices, code (see fuzz_i8080).
Bytes cpu_input(uint16_t pc, uint16_t sp, int32_t budget, uint8_t c2, const std::string& source) {
    const AssembleResult r = assembled("ORG " + std::to_string(pc) + "\n" + source);
    Bytes b = {
        0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0x3A, 0x02, uint8_t(sp), uint8_t(sp >> 8), uint8_t(pc), uint8_t(pc >> 8)};
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(uint32_t(budget) >> (8 * i)));
    b.push_back(c2);
    b.push_back(0xFE);  // D0: column 0 selected
    b.push_back(0xF0);  // D2
    for (int i = 0; i < 12; ++i) b.push_back(uint8_t(1u << (i % 8)));
    for (uint32_t a = r.lowest(); a <= r.highest(); ++a) b.push_back(r.memory[a]);
    return b;
}

void cpu_seeds() {
    write("i8080", "arith.bin",
          cpu_input(0x1000, 0xB000, 2000, 0xFF,
                    "ADD B\nADC C\nSUB D\nSBB E\nANA H\nXRA L\nORA A\nCMP M\nADI 99H\nACI 1\nSUI 2\nSBI 3\n"
                    "ANI 0FH\nXRI 55H\nORI 80H\nCPI 0\nDAA\nINR A\nDCR B\nINR M\nDCR M\nRLC\nRRC\nRAL\nRAR\n"
                    "CMA\nSTC\nCMC\nDAD B\nDAD SP\nINX H\nDCX D\nJMP 1000H\n"));
    write("i8080", "stack.bin",
          cpu_input(0x2000, 0x0001, 1500, 0xFF,
                    "PUSH B\nPUSH PSW\nPOP D\nPOP PSW\nXTHL\nCALL 2010H\nRST 1\nRNZ\nRZ\nCNC 2000H\nCPE 2000H\n"
                    "DB 0DDH,0,20H,0CBH,0,20H,0D9H,08H,10H\nLXI SP,0C001H\nPUSH H\nJMP 2000H\n"));
    write("i8080", "map-switch.bin",
          cpu_input(0x8000, 0xBFF0, 3000, 0xFD,
                    "MVI A,0FFH\nOUT 0C2H\nSTA 4000H\nMVI A,0FDH\nOUT 2\nSTA 4001H\nIN 0C2H\nIN 0D1H\nIN 0D2H\n"
                    "IN 0C0H\nLXI H,3FFFH\nMOV M,A\nSHLD 7FFFH\nLHLD 0FFFFH\nJMP 8000H\n"));
    write("i8080", "video-low.bin", cpu_input(0x0100, 0x4010, 500, 0x00, "MOV A,B\nLXI B,5\nSTAX B\nLDAX D\nNOP\n"));
    write("i8080", "negative-budget.bin", cpu_input(0x0000, 0x0000, -5, 0xFF, "CALL 0\n"));
}

// Recordings as the recorder makes them: one with keys, a speed change, a frame stopped
// early, a step and a file with its bytes, held keys at the start; one with no input.
void recording_seeds() {
    ByteBufferBank bank;
    auto start = std::make_unique<RecordingStart>();
    ResetComp(start->machine, builtin_rom_images());
    start->machine.kbd_matrix[2] = 0x10;
    start->fps = 50;
    start->cycles_per_frame = 68000;
    const KeyTables keys = default_key_tables();
    std::copy(keys.latin.begin(), keys.latin.end(), start->key_tables.begin());
    std::copy(keys.cyrillic.begin(), keys.cyrillic.end(), start->key_tables.begin() + 256);
    start->firmware = builtin_firmware();
    start->held_keys[0x41] = keys.latin[0x41];

    auto empty = std::make_unique<Recorder>(*start);
    empty->frame_done(68000);
    write("recording", "no-input.NevLVR", encode_recording(bank, empty->finish(start->machine, {1, 0})));

    Recorder recorder(*start);
    const auto in = [&recorder](InputPosition at, InputKind kind, uint8_t code, int32_t value) {
        Input i;
        i.kind = kind, i.code = code, i.value = value;
        recorder.input(at, i);
    };
    in({0, 0}, InputKind::KeyUp, 0x41, 0);
    recorder.frame_done(68000);
    in({1, 0}, InputKind::KeyDown, 0x0D, 0);
    in({1, 0}, InputKind::Speed, 0, 25);
    recorder.frame_done(68000);
    recorder.frame_done(3021);  // stopped at a breakpoint
    in({3, 0}, InputKind::Pause, 0, 0);
    in({3, 0}, InputKind::Step, 0, 0);
    Input file;
    file.kind = InputKind::LoadFile;
    file.name = "seed.lvt";
    const AssembleResult prog = assembled("ORG 9000H\nSTART: MVI A,0AAH\nSTA 0B000H\nRET\n");
    file.bytes = tape_image(prog, "SEED", 0x9000);
    recorder.input({3, 11}, file);
    in({3, 11}, InputKind::Resume, 0, 0);
    recorder.frame_done(68000);
    write("recording", "inputs.NevLVR", encode_recording(bank, recorder.finish(start->machine, {4, 0})));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    out_dir = argv[1];
    image_seeds();
    keymap_seeds();
    games_seeds();
    asm_seeds();
    cpu_seeds();
    recording_seeds();
    return 0;
}
