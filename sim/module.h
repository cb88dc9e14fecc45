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
#include <vector>

#include "sim/image.h"
#include "sim/lineformat.h"

namespace korvo {

enum class Model { Korvo216, Korvo420 };

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
    bool echo = false;                    // the request comes back before the reply
};

// How often each fault has struck.
struct FaultCounts {
    unsigned noReply = 0;
    unsigned exception = 0;
    unsigned corruptCrc = 0;
    unsigned truncate = 0;
    unsigned extra = 0;
    unsigned echo = 0;
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
    std::size_t singleRegisterCount() const;
    std::size_t holdingRegisterCount() const { return holding_.size(); }
    int displayLines() const;
    int displayColumns() const;
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
    std::size_t uploadSize() const;
    // The text of stored message n (1..), blank where the model keeps none.
    std::string message(int n) const;
    void showStartScreen(Result& r);
    void shapeReply(std::span<const std::uint8_t> burst, Result& r);

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
