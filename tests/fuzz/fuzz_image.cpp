// LoadImageFile on any bytes: every reader (snapshot versions 01, 02, 03, 0x31, 0x32,
// dump, tape) sees the file the way a user's Open would hand it over.
//
// Properties, each checked on every input:
//  - a refused file (RangeError) or an unrecognised one leaves the machine byte for byte
//    as it was; IoError never happens for a readable regular file;
//  - the result depends on the file alone, not on what earlier loads left in the buffer
//    past its end; the readers, handed a heap copy of exactly the file's bytes, give the
//    same result as the load (AddressSanitizer stops any read past that span);
//  - a tape image (and snapshot version 03, which is one) changes only memory, latch C2,
//    SP and PC; no reader touches the clock counter or the keyboard matrices;
//  - a loaded state written back with SaveSnapshot and read again into another machine
//    is the same state, and writing that machine again gives the same bytes.
#include <algorithm>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/rom.h"
#include "fuzz_support.h"
#include "storage/buffers.h"
#include "storage/images.h"
#include "storage/snapshot.h"

using namespace lvov;
using lvov::fuzz::scratch_dir;
using lvov::fuzz::state_difference;
using lvov::fuzz::stored_state_difference;

namespace {

enum class Outcome { Snapshot, Dump, Tape, NotRecognised, Refused };

struct World {
    RomImages roms = builtin_rom_images();
    ByteBufferBank bank;
    MachineState base;  // what every load starts from: busy, nothing at a reset value
    MachineState other;  // a freshly reset machine, where written snapshots are read back
    MachineState loaded[2];
    MachineState direct;  // loaded by the readers themselves
    MachineState reread;
    std::string input_path = (scratch_dir() / "input.bin").string();
    std::string output_path = (scratch_dir() / "written.NevLVE").string();

    World() {
        // The built-in firmware counts as image 1 here, so written snapshots take both
        // ways: rom_id 1 when C000-FFFF is untouched, the bytes themselves otherwise.
        roms.image1_builtin = false;
        ResetComp(base, roms);
        for (uint32_t a = 0; a < ROM_START; ++a) base.memory[a] = static_cast<uint8_t>(a * 7 + 13);
        for (uint32_t a = 0; a < VRAM_SIZE; ++a) base.vram[a] = static_cast<uint8_t>(a * 11 + 5);
        for (uint32_t i = 0; i < 256; ++i) base.port_latches[i] = static_cast<uint8_t>(i ^ 0x5A);
        base.A = 0x11, base.B = 0x22, base.C = 0x33, base.D = 0x44, base.E = 0x55, base.H = 0x66, base.L = 0x77;
        base.F = 0x93, base.SP = 0x1234, base.PC = 0x4321, base.cycles = 12345;
        base.kbd_matrix = {1, 2, 4, 8, 16, 32, 64, 128};
        base.kbd_extra = {3, 5, 9, 17};
        ResetComp(other, roms);
    }
};

World& world() {
    static World* w = new World;  // never destroyed: libFuzzer may exit from anywhere
    return *w;
}

Outcome load(World& w, MachineState& m, const std::string& path) {
    try {
        switch (LoadImageFile(w.bank, m, path)) {
        case LoadResult::Snapshot: return Outcome::Snapshot;
        case LoadResult::Dump: return Outcome::Dump;
        case LoadResult::Tape: return Outcome::Tape;
        case LoadResult::NotRecognised: return Outcome::NotRecognised;
        }
    } catch (const RangeError&) {
        return Outcome::Refused;
    } catch (const EmuError& e) {
        FUZZ_CHECK(!"LoadImageFile of a readable file threw", std::string(e.what()));
    }
    std::abort();  // no other LoadResult exists
}

// The readers in LoadImageFile's order, on the file's bytes alone.
Outcome read_directly(std::span<const uint8_t> file, MachineState& m) {
    const std::string header(reinterpret_cast<const char*>(file.data()),
                             std::min<size_t>(FILE_HEADER_SIZE, file.size()));
    try {
        if (ReadSnapshot(file, m, header)) return Outcome::Snapshot;
        if (ReadDumpImage(file, m, header)) return Outcome::Dump;
        if (ReadTapeImage(file, m, header)) return Outcome::Tape;
    } catch (const RangeError&) {
        return Outcome::Refused;
    }
    return Outcome::NotRecognised;
}

bool is_version3_snapshot(const uint8_t* data, size_t size) {
    return size > 8 && std::memcmp(data, SNAPSHOT_MAGIC, 8) == 0 && data[8] == 0x03;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    World& w = world();
    lvov::fuzz::write_file(w.input_path, data, size);

    // Load twice, with different leftovers in the buffer past the file's end.
    Outcome outcome[2];
    for (int round = 0; round < 2; ++round) {
        const size_t poison = std::min<size_t>(BUFFER_CAPACITY, size + 128 * 1024);
        std::memset(w.bank.data(1), round == 0 ? 0xA5 : 0x5A, poison);
        w.loaded[round] = w.base;
        outcome[round] = load(w, w.loaded[round], w.input_path);
    }
    FUZZ_CHECK(outcome[0] == outcome[1], "the outcome depends on bytes past the end of the file");
    FUZZ_CHECK(
        state_difference(w.loaded[0], w.loaded[1]).empty(),
        "the loaded state depends on bytes past the end of the file: " + state_difference(w.loaded[0], w.loaded[1]));

    const std::vector<uint8_t> exact(data, data + size);
    w.direct = w.base;
    FUZZ_CHECK(read_directly(exact, w.direct) == outcome[0],
               "the readers on the file's bytes decide otherwise than the load");
    FUZZ_CHECK(state_difference(w.loaded[0], w.direct).empty(),
               "the readers on the file's bytes load another state: " + state_difference(w.loaded[0], w.direct));

    const MachineState& m = w.loaded[0];
    if (outcome[0] == Outcome::Refused || outcome[0] == Outcome::NotRecognised) {
        FUZZ_CHECK(state_difference(m, w.base).empty(),
                   "a refused or unrecognised file changed the machine: " + state_difference(m, w.base));
        return 0;
    }

    // Not stored in any image: untouched by every reader.
    FUZZ_CHECK(m.cycles == w.base.cycles && m.kbd_matrix == w.base.kbd_matrix && m.kbd_extra == w.base.kbd_extra,
               "a reader changed the clock counter or a keyboard matrix");
    if (outcome[0] == Outcome::Tape || is_version3_snapshot(data, size)) {
        MachineState expected = m;  // m with only what a tape may change taken from base
        expected.port_latches[LATCH_SYSTEM_CONTROL] = w.base.port_latches[LATCH_SYSTEM_CONTROL];
        expected.SP = w.base.SP;
        expected.PC = w.base.PC;
        expected.memory = w.base.memory;
        FUZZ_CHECK(state_difference(expected, w.base).empty(),
                   "a tape image changed more than memory, latch C2, SP and PC: " + state_difference(expected, w.base));
    }

    // Written back and read again: the same state, and the same bytes when written again.
    SaveSnapshot(w.bank, m, w.roms, w.output_path);
    const std::vector<uint8_t> written(w.bank.data(1), w.bank.data(1) + w.bank.cursor(1));
    w.reread = w.other;
    FUZZ_CHECK(load(w, w.reread, w.output_path) == Outcome::Snapshot, "a written snapshot is not read back");
    FUZZ_CHECK(stored_state_difference(m, w.reread).empty(),
               "the snapshot read back differs: " + stored_state_difference(m, w.reread));
    FUZZ_CHECK(w.reread.cycles == w.other.cycles && w.reread.kbd_matrix == w.other.kbd_matrix,
               "reading a snapshot changed the clock counter or the keyboard matrix");
    SaveSnapshot(w.bank, w.reread, w.roms, w.output_path);
    FUZZ_CHECK(w.bank.cursor(1) == written.size() && std::memcmp(w.bank.data(1), written.data(), written.size()) == 0,
               "the same state written twice gives different bytes");
    return 0;
}
