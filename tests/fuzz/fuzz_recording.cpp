// decode_recording on any bytes, as --replay and the window's replay hand a file over.
// Each input is read twice: as it is, and with its last 8 bytes replaced by the checksum
// of the rest, so the checks behind the checksum see damaged contents too.
//
// Properties, each checked on every input:
//  - a file is either read or refused with RangeError, never another error; the reader
//    is handed a heap copy of exactly the file's bytes (AddressSanitizer stops any read
//    past them);
//  - a recording read has its inputs in order and none past its end;
//  - a recording read, written again and read back is the same recording (the same
//    starting machine by its state hash, the same settings, inputs, end and final
//    hash), and writing that again gives the same bytes.
#include <memory>
#include <string>
#include <vector>

#include "core/errors.h"
#include "fuzz_support.h"
#include "storage/buffers.h"
#include "storage/recording.h"

using namespace lvov;

namespace {

ByteBufferBank& bank() {
    static ByteBufferBank* b = new ByteBufferBank;  // never destroyed: libFuzzer may exit from anywhere
    return *b;
}

bool in_order(const InputPosition& a, const InputPosition& b) {
    return a.frame < b.frame || (a.frame == b.frame && a.cycle <= b.cycle);
}

void check(const std::vector<uint8_t>& file) {
    std::unique_ptr<Recording> read;
    try {
        read = std::make_unique<Recording>(decode_recording(file, "input.NevLVR"));
    } catch (const RangeError& e) {
        FUZZ_CHECK(std::string(e.what()).find("\"input.NevLVR\"") != std::string::npos,
                   "a refusal does not name the file: " + std::string(e.what()));
        return;
    } catch (const std::exception& e) {
        FUZZ_CHECK(!"decode_recording threw something else than RangeError", std::string(e.what()));
    }

    for (size_t i = 0; i < read->inputs.size(); ++i) {
        FUZZ_CHECK(in_order(read->inputs[i].at, read->end), "an input lies past the end");
        if (i > 0) FUZZ_CHECK(in_order(read->inputs[i - 1].at, read->inputs[i].at), "the inputs are out of order");
    }

    const std::vector<uint8_t> written = encode_recording(bank(), *read);
    std::unique_ptr<Recording> again;
    try {
        again = std::make_unique<Recording>(decode_recording(written, "written.NevLVR"));
    } catch (const RangeError& e) {
        FUZZ_CHECK(!"a recording written is not read back", std::string(e.what()));
    }
    const MachineState& a = read->start.machine;
    const MachineState& b = again->start.machine;
    FUZZ_CHECK(state_hash(a) == state_hash(b),
               "the starting machine read back differs: " + lvov::fuzz::state_difference(a, b));
    const RecordingStart& s = read->start;
    const RecordingStart& t = again->start;
    FUZZ_CHECK(s.fps == t.fps && s.cycles_per_frame == t.cycles_per_frame, "the speed read back differs");
    FUZZ_CHECK(s.key_tables == t.key_tables && s.firmware == t.firmware && s.held_keys == t.held_keys,
               "the key tables, firmware or held keys read back differ");
    FUZZ_CHECK(read->inputs == again->inputs, "the inputs read back differ");
    FUZZ_CHECK(read->end == again->end && read->final_hash == again->final_hash, "the end read back differs");
    FUZZ_CHECK(encode_recording(bank(), *again) == written, "the same recording written twice gives different bytes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> file(data, data + size);
    check(file);
    if (size >= 8) {
        const uint64_t sum = fnv1a(std::span<const uint8_t>(file).first(size - 8));
        for (int i = 0; i < 8; ++i) file[size - 8 + i] = static_cast<uint8_t>(sum >> (8 * i));
        check(file);
    }
    return 0;
}
