// SPDX-License-Identifier: MIT
#pragma once

// The simulated display module: its register map, its line settings and the faults it is
// told to inject. receive() takes one burst (the bytes between two silences on the line)
// and gives back the bytes to send, how the burst was taken and what it changed, in words.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/image.h"
#include "sim/lineformat.h"

namespace korvo {

enum class Model { Korvo216, Korvo420 };

enum class ImageLayout { Image1602, Upload2004 };

// Everything the two models differ in. The module asks here instead of asking which model
// it is, so that the numbers of one model stand together and can be read against its manual.
struct ModelTraits {
    Model model;
    std::string_view name;    // "Korvo-216"
    std::string_view option;  // the value of --model
    std::size_t coils;
    std::size_t inputRegisters;    // none: function 04 is not supported
    std::size_t singleRegisters;   // the registers function 06 may write
    std::size_t holdingRegisters;  // function 16 reaches further, into the message store
    int lines;
    int columns;
    ImageLayout layout;
    std::size_t uploadSize;
    std::string_view layoutName;  // "16x2", as the log names an upload
    // Messages kept in registers, each one display line long, the first of them at
    // firstMessageRegister; a model with none carries its messages in the image.
    int messageSlots;
    std::size_t firstMessageRegister;
};

// Function 16 reaches start address 15 (16x2) or 130 (20x4) with room for a 20-character
// message; the 20x4 keeps messages 1..10 at start address 40, 50, ... 130.
inline constexpr std::array<ModelTraits, 2> kModels{{
    {.model = Model::Korvo216,
     .name = "Korvo-216",
     .option = "216",
     .coils = 2,
     .inputRegisters = 0,
     .singleRegisters = 25,
     .holdingRegisters = 25,
     .lines = 2,
     .columns = 16,
     .layout = ImageLayout::Image1602,
     .uploadSize = kImage1602Size,
     .layoutName = "16x2",
     .messageSlots = 0,
     .firstMessageRegister = 0},
    {.model = Model::Korvo420,
     .name = "Korvo-420",
     .option = "420",
     .coils = 9,
     .inputRegisters = 3,
     .singleRegisters = 57,
     .holdingRegisters = 140,
     .lines = 4,
     .columns = 20,
     .layout = ImageLayout::Upload2004,
     .uploadSize = kUpload2004Size,
     .layoutName = "20x4",
     .messageSlots = 10,
     .firstMessageRegister = 40},
}};

const ModelTraits& traitsOf(Model m);

std::string modelName(Model m);

// A burst longer than this is not kept: nothing the module understands is that long.
inline constexpr std::size_t kMaxBurst = 512;

// Faults that shape the bytes of a reply.
struct Faults {
    bool noReply = false;
    std::optional<std::uint8_t> exception;  // answer every request with this code
    bool corruptCrc = false;
    std::optional<std::size_t> truncate;  // send only this many reply bytes
    std::size_t extra = 0;                // stray bytes after each reply
};

// How often each fault has struck.
struct FaultCounts {
    unsigned noReply = 0;
    unsigned exception = 0;
    unsigned corruptCrc = 0;
    unsigned truncate = 0;
    unsigned extra = 0;
};

enum class Verdict {
    Request,         // addressed here and answered (normal reply or exception)
    Broadcast,       // address 0: applied, never answered
    OtherSlave,      // a valid frame for another address
    Ignored,         // too short, bad CRC, garbage
    ConfigApplied,   // a configuration upload with a valid checksum
    ConfigRejected,  // the length of an upload but not a valid one
    Garbled,         // sent at other line settings than the module's: noise, never answered
};

struct Result {
    Verdict verdict = Verdict::Ignored;
    std::vector<std::uint8_t> reply;  // faults applied; empty for no reply
    std::vector<std::string> events;  // what happened, in words, one log line each
    bool lineChanged = false;         // the line settings are new from the next reply on
};

struct ModuleSetup {
    Model model = Model::Korvo420;
    int address = 1;
    LineFormat line;
    std::array<std::uint16_t, 3> inputRegisters{10, 20, 30};
    Faults faults;
};

class Module {
  public:
    explicit Module(const ModuleSetup& setup);

    // With the settings the master has set on the line, a burst sent at other settings than
    // the module listens at is noise (see garbling()); without them, every burst is heard.
    Result receive(std::span<const std::uint8_t> burst,
                   const std::optional<SeenLine>& master = std::nullopt);

    Model model() const { return model_; }
    int address() const { return address_; }
    const LineFormat& line() const { return line_; }
    const Faults& faults() const { return faults_; }
    const FaultCounts& faultCounts() const { return counts_; }
    bool coil(std::size_t n) const { return coils_.at(n); }
    std::size_t coilCount() const { return coils_.size(); }
    std::uint16_t holdingRegister(std::size_t n) const { return holding_.at(n); }
    // Registers that function 06 may write; function 16 reaches further (message store).
    std::size_t singleRegisterCount() const { return traits().singleRegisters; }
    std::size_t holdingRegisterCount() const { return holding_.size(); }
    int displayLines() const { return traits().lines; }
    int displayColumns() const { return traits().columns; }
    // The characters of one display line, two per holding register, high byte first.
    std::string displayText(int line) const;
    // Registers 0 .. displayRegisterCount()-1 hold the display text.
    std::size_t displayRegisterCount() const;
    // The data fields of the last upload (field n on display line n), none before one.
    std::vector<DataField> dataFields() const;
    // The register whose value data field n (from 0) shows: the ones after the text.
    std::size_t fieldRegister(std::size_t n) const { return displayRegisterCount() + n; }
    // IO pin directions of the last 20x4 upload (bit n-1 set: pin n is an output).
    std::optional<std::uint8_t> ioDirections() const;
    const std::optional<Config1602>& config1602() const { return config1602_; }
    const std::optional<Config2004>& config2004() const { return config2004_; }

  private:
    const ModelTraits& traits() const { return traitsOf(model_); }

    // A reply body (without address and CRC), or an exception code.
    struct Answer {
        std::vector<std::uint8_t> body;
        std::uint8_t exception = 0;
        std::string words;
    };

    Answer answer(std::span<const std::uint8_t> frame, bool broadcast, Result& r);
    Answer readInputs(std::span<const std::uint8_t> frame);
    Answer writeCoil(std::span<const std::uint8_t> frame, bool apply, Result& r);
    Answer writeRegister(std::span<const std::uint8_t> frame, bool apply, Result& r);
    Answer writeMessage(std::span<const std::uint8_t> frame, bool apply, Result& r);
    void reportWrite(std::size_t first, std::size_t count, Result& r) const;
    void takeUpload(std::span<const std::uint8_t> burst, Result& r);
    // The text of stored message n (1..), blank where the model keeps none.
    std::string message(int n) const;
    void showStartScreen(Result& r);
    // What the burst amounts to (verdict and events into r), and the reply it is owed:
    // address, function and body, before the CRC and before any fault.
    std::optional<std::vector<std::uint8_t>> respond(std::span<const std::uint8_t> burst,
                                                     const std::optional<SeenLine>& master,
                                                     Result& r);
    // Closes the reply with its CRC and shapes it by the faults, into r.
    void close(std::optional<std::vector<std::uint8_t>> reply, Result& r);

    Model model_;
    int address_;
    LineFormat line_;
    std::array<std::uint16_t, 3> inputs_;
    Faults faults_;
    FaultCounts counts_;
    std::vector<bool> coils_;
    std::vector<std::uint16_t> holding_;
    std::optional<Config1602> config1602_;
    std::optional<Config2004> config2004_;
};

}  // namespace korvo
