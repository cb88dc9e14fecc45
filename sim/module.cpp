// SPDX-License-Identifier: MIT
#include "sim/module.h"

#include <algorithm>

#include "core/crc16.h"
#include "sim/display.h"
#include "sim/text.h"

namespace korvo {

namespace {

constexpr std::uint8_t kReadInputs = 0x04;
constexpr std::uint8_t kWriteCoil = 0x05;
constexpr std::uint8_t kWriteRegister = 0x06;
constexpr std::uint8_t kWriteMultiple = 0x10;

constexpr std::uint8_t kIllegalFunction = 0x01;
constexpr std::uint8_t kIllegalAddress = 0x02;
constexpr std::uint8_t kIllegalValue = 0x03;

constexpr std::uint16_t kBlank = 0x2020;  // two spaces
constexpr std::uint8_t kStrayByte = 0x00;

std::uint16_t word(std::span<const std::uint8_t> f, std::size_t at) {
    return static_cast<std::uint16_t>(f[at] << 8 | f[at + 1]);
}

std::string exceptionName(std::uint8_t code) {
    switch (code) {
        case kIllegalFunction:
            return "illegal function";
        case kIllegalAddress:
            return "illegal data address";
        case kIllegalValue:
            return "illegal data value";
        case 0x04:
            return "slave device failure";
        default:
            return "code " + std::to_string(code);
    }
}

std::string range(std::size_t first, std::size_t count) {
    return count == 1 ? std::to_string(first)
                      : std::to_string(first) + ".." + std::to_string(first + count - 1);
}

void appendCrc(std::vector<std::uint8_t>& frame) {
    const std::uint16_t crc = crc16::modbus(frame);
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
}

bool decodes(ImageLayout layout, std::span<const std::uint8_t> burst) {
    switch (layout) {
        case ImageLayout::Image1602:
            return decode1602(burst).config.has_value();
        case ImageLayout::Upload2004:
            return decode2004(burst).config.has_value();
    }
    return false;
}

bool crcHolds(std::span<const std::uint8_t> burst) {
    return burst.size() >= 4 &&
           crc16::matches(burst.first(burst.size() - 2), burst[burst.size() - 2], burst.back());
}

}  // namespace

// The input registers a model has must all be given values by its setup.
static_assert(std::ranges::all_of(kModels, [](const ModelTraits& t) {
    return t.inputRegisters <= std::tuple_size_v<decltype(ModuleSetup::inputRegisters)>;
}));

const ModelTraits& traitsOf(Model m) {
    return *std::ranges::find(kModels, m, &ModelTraits::model);
}

std::string modelName(Model m) {
    return std::string(traitsOf(m).name);
}

Module::Module(const ModuleSetup& setup)
    : model_(setup.model),
      address_(setup.address),
      line_(setup.line),
      inputs_(setup.inputRegisters),
      faults_(setup.faults),
      coils_(traitsOf(setup.model).coils, false),
      // The display text starts blank, the field values and messages at 0.
      holding_(traitsOf(setup.model).holdingRegisters, 0) {
    std::fill_n(holding_.begin(), displayRegisterCount(), kBlank);
}

std::size_t Module::displayRegisterCount() const {
    return static_cast<std::size_t>(displayLines() * displayColumns() / 2);
}

std::vector<DataField> Module::dataFields() const {
    if (config1602_) {
        return {config1602_->fields.begin(), config1602_->fields.end()};
    }
    if (config2004_) {
        return {config2004_->fields.begin(), config2004_->fields.end()};
    }
    return {};
}

std::optional<std::uint8_t> Module::ioDirections() const {
    if (config2004_) {
        return config2004_->ioDirections;
    }
    return std::nullopt;
}

std::string Module::displayText(int line) const {
    std::string text;
    if (line < 0 || line >= displayLines()) {
        return text;
    }
    const auto columns = static_cast<std::size_t>(displayColumns());
    for (std::size_t c = 0; c < columns; ++c) {
        const std::size_t at = static_cast<std::size_t>(line) * columns + c;
        const std::uint16_t reg = holding_[at / 2];
        text += static_cast<char>(at % 2 == 0 ? reg >> 8 : reg & 0xFF);
    }
    return text;
}

Result Module::receive(std::span<const std::uint8_t> burst, const std::optional<SeenLine>& master) {
    Result r;
    if (burst.size() > kMaxBurst) {
        r.events.push_back(std::to_string(burst.size()) + " bytes, longer than any frame: dropped");
        return r;
    }
    std::optional<std::vector<std::uint8_t>> reply = respond(burst, master, r);
    close(std::move(reply), r);
    return r;
}

std::optional<std::vector<std::uint8_t>> Module::respond(std::span<const std::uint8_t> burst,
                                                         const std::optional<SeenLine>& master,
                                                         Result& r) {
    const bool frame = crcHolds(burst);
    if (master) {
        const bool uploadShaped = !frame && burst.size() == traits().uploadSize;
        if (auto why = garbling(*master, line_, uploadShaped)) {
            r.verdict = Verdict::Garbled;
            r.events.push_back(std::move(*why));
            return std::nullopt;
        }
    }
    if (!frame) {
        takeUpload(burst, r);
        return std::nullopt;
    }
    const int to = burst[0];
    const std::uint8_t function = burst[1];
    if (to != 0 && to != address_) {
        r.verdict = Verdict::OtherSlave;
        r.events.push_back("frame for slave " + std::to_string(to) + ", this module is " +
                           std::to_string(address_) + ": ignored");
        return std::nullopt;
    }
    if (to == 0) {
        r.verdict = Verdict::Broadcast;
        // A module told to refuse everything refuses broadcasts too, only silently.
        const Answer a = answer(burst, !faults_.exception, r);
        if (faults_.exception) {
            r.events.push_back("broadcast: " + a.words);
            r.events.push_back("fault exception #" + std::to_string(++counts_.exception) +
                               ": refused with exception " + hexByte(*faults_.exception) +
                               ", nothing applied (no reply)");
        } else {
            r.events.insert(r.events.begin(),
                            a.exception == 0 ? "broadcast: " + a.words + " (no reply)"
                                             : "broadcast refused, " + a.words + " (no reply)");
        }
        return std::nullopt;
    }
    r.verdict = Verdict::Request;
    Answer a;
    if (faults_.exception) {
        a = answer(burst, false, r);
        ++counts_.exception;
        r.events.push_back("request: " + a.words);
        a.exception = *faults_.exception;
        r.events.push_back("fault exception #" + std::to_string(counts_.exception) +
                           ": answered with exception " + hexByte(a.exception) +
                           ", nothing applied");
    } else {
        a = answer(burst, true, r);
        r.events.insert(r.events.begin(), (a.exception == 0 ? "request: " : "refused: ") + a.words);
    }
    std::vector<std::uint8_t> reply;
    reply.reserve(a.body.size() + 3);  // also keeps GCC 12 from a false -Warray-bounds
    reply.push_back(static_cast<std::uint8_t>(address_));
    if (a.exception != 0) {
        reply.push_back(static_cast<std::uint8_t>(function | 0x80));
        reply.push_back(a.exception);
    } else {
        reply.insert(reply.end(), a.body.begin(), a.body.end());
    }
    return reply;
}

Module::Answer Module::answer(std::span<const std::uint8_t> frame, bool apply, Result& r) {
    const std::uint8_t function = frame[1];
    const bool broadcast = frame[0] == 0;
    Answer a;
    const auto needLength = [&](std::size_t n) {
        if (frame.size() == n) {
            return true;
        }
        a.exception = kIllegalValue;
        a.words = "function " + hexByte(function) + " needs " + std::to_string(n) + " bytes, got " +
                  std::to_string(frame.size());
        return false;
    };
    switch (function) {
        case kReadInputs:
            if (traits().inputRegisters == 0) {
                a.exception = kIllegalFunction;
                a.words = "function 04: the " + modelName(model_) + " has no input registers";
            } else if (broadcast) {
                a.words = "read of input registers: reads are never broadcast, ignored";
            } else if (needLength(8)) {
                a = readInputs(frame);
            }
            break;
        case kWriteCoil:
            if (needLength(8)) {
                a = writeCoil(frame, apply, r);
            }
            break;
        case kWriteRegister:
            if (needLength(8)) {
                a = writeRegister(frame, apply, r);
            }
            break;
        case kWriteMultiple:
            a = writeMessage(frame, apply, r);
            break;
        default:
            a.exception = kIllegalFunction;
            a.words = "function " + hexByte(function) + " is not supported";
            break;
    }
    if (a.exception != 0) {
        a.words = "exception " + hexByte(a.exception) + " (" + exceptionName(a.exception) +
                  "): " + a.words;
    }
    return a;
}

Module::Answer Module::readInputs(std::span<const std::uint8_t> frame) {
    Answer a;
    const std::size_t start = word(frame, 2);
    const std::size_t quantity = word(frame, 4);
    if (quantity < 1 || quantity > 125) {
        a.exception = kIllegalValue;
        a.words = "quantity " + std::to_string(quantity) + " of input registers is not 1..125";
        return a;
    }
    const std::size_t count = traits().inputRegisters;
    if (start + quantity > count) {
        a.exception = kIllegalAddress;
        a.words = "input registers " + range(start, quantity) + " are outside 0.." +
                  std::to_string(count - 1);
        return a;
    }
    a.body = {kReadInputs, static_cast<std::uint8_t>(2 * quantity)};
    // Appended piece by piece: GCC 12 at -O3 takes `literal + temporary` for an overlapping
    // copy (-Wrestrict) and a Release build with warnings as errors would stop here.
    a.words = quantity == 1 ? "read input register " : "read input registers ";
    a.words += range(start, quantity);
    a.words += ':';
    for (std::size_t i = start; i < start + quantity; ++i) {
        a.body.push_back(static_cast<std::uint8_t>(inputs_[i] >> 8));
        a.body.push_back(static_cast<std::uint8_t>(inputs_[i] & 0xFF));
        a.words += ' ';
        a.words += std::to_string(inputs_[i]);
    }
    return a;
}

Module::Answer Module::writeCoil(std::span<const std::uint8_t> frame, bool apply, Result&) {
    Answer a;
    const std::size_t coil = word(frame, 2);
    const std::uint16_t value = word(frame, 4);
    if (value != 0x0000 && value != 0xFF00) {
        a.exception = kIllegalValue;
        a.words =
            "coil value " + hexByte(frame[4]) + hexByte(frame[5]) + " is neither 0000 nor FF00";
        return a;
    }
    if (coil >= coils_.size()) {
        a.exception = kIllegalAddress;
        a.words =
            "coil " + std::to_string(coil) + " is outside 0.." + std::to_string(coils_.size() - 1);
        return a;
    }
    if (apply) {
        coils_[coil] = value == 0xFF00;
    }
    a.body.assign(frame.begin() + 1, frame.begin() + 6);
    a.words = "coil " + std::to_string(coil) + " switched " + (value == 0xFF00 ? "on" : "off");
    return a;
}

Module::Answer Module::writeRegister(std::span<const std::uint8_t> frame, bool apply, Result& r) {
    Answer a;
    const std::size_t reg = word(frame, 2);
    if (reg >= singleRegisterCount()) {
        a.exception = kIllegalAddress;
        a.words = "holding register " + std::to_string(reg) + " is outside 0.." +
                  std::to_string(singleRegisterCount() - 1);
        return a;
    }
    a.body.assign(frame.begin() + 1, frame.begin() + 6);
    a.words = "holding register " + std::to_string(reg) + " set to " + hexByte(frame[4]) +
              hexByte(frame[5]) + " (" + quoted(frame.subspan(4, 2)) + ")";
    if (apply) {
        holding_[reg] = word(frame, 4);
        reportWrite(reg, 1, r);
    }
    return a;
}

Module::Answer Module::writeMessage(std::span<const std::uint8_t> frame, bool apply, Result& r) {
    Answer a;
    if (frame.size() < 9) {
        a.exception = kIllegalValue;
        a.words = "function 10 needs at least 9 bytes, got " + std::to_string(frame.size());
        return a;
    }
    const std::size_t start = word(frame, 2);
    const std::size_t quantity = word(frame, 4);
    const std::size_t byteCount = frame[6];
    if (quantity < 1 || quantity > 123 || byteCount != 2 * quantity ||
        frame.size() != 9 + byteCount) {
        a.exception = kIllegalValue;
        a.words = "quantity " + std::to_string(quantity) + " with byte count " +
                  std::to_string(byteCount) + " in " + std::to_string(frame.size()) +
                  " bytes (needs 1..123 registers, 2 bytes each)";
        return a;
    }
    if (start + quantity > holding_.size()) {
        a.exception = kIllegalAddress;
        a.words = "registers " + range(start, quantity) + " are outside 0.." +
                  std::to_string(holding_.size() - 1);
        return a;
    }
    const auto text = frame.subspan(7, byteCount);
    a.body.assign(frame.begin() + 1, frame.begin() + 6);
    a.words = "message " + quoted(text) + " written to registers " + range(start, quantity);
    if (apply) {
        for (std::size_t i = 0; i < quantity; ++i) {
            holding_[start + i] = word(text, 2 * i);
        }
        reportWrite(start, quantity, r);
    }
    return a;
}

// Tells what a write did to the display, or to the registers beyond it.
void Module::reportWrite(std::size_t first, std::size_t count, Result& r) const {
    const auto columns = static_cast<std::size_t>(displayColumns());
    const std::size_t displayRegs = static_cast<std::size_t>(displayLines()) * columns / 2;
    for (int line = 0; line < displayLines(); ++line) {
        const std::size_t lineFirst = static_cast<std::size_t>(line) * columns / 2;
        const std::size_t lineEnd = lineFirst + columns / 2;
        if (first < lineEnd && first + count > lineFirst) {
            const std::string text = displayText(line);
            r.events.push_back(
                "display line " + std::to_string(line) + ": " +
                quoted({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}));
        }
    }
    if (first + count > displayRegs) {
        const std::size_t from = std::max(first, displayRegs);
        std::vector<std::uint8_t> bytes;
        for (std::size_t i = from; i < first + count; ++i) {
            bytes.push_back(static_cast<std::uint8_t>(holding_[i] >> 8));
            bytes.push_back(static_cast<std::uint8_t>(holding_[i] & 0xFF));
        }
        r.events.push_back("registers " + range(from, first + count - from) +
                           " (beyond the display) hold " + quoted(bytes));
    }
    const std::vector<DataField> fields = dataFields();
    for (std::size_t n = 0; n < fields.size(); ++n) {
        const std::size_t reg = fieldRegister(n);
        if (reg >= first && reg < first + count) {
            const std::string text = fieldText(holding_[reg], fields[n]);
            r.events.push_back(
                "data field " + std::to_string(n + 1) + " (line " + std::to_string(n) + ") shows " +
                std::to_string(holding_[reg]) + " as " +
                quoted({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}));
        }
    }
}

void Module::takeUpload(std::span<const std::uint8_t> burst, Result& r) {
    const ModelTraits& own = traits();
    if (burst.size() != own.uploadSize) {
        r.verdict = Verdict::Ignored;
        const auto other = std::ranges::find_if(kModels, [&](const ModelTraits& t) {
            return t.layout != own.layout && decodes(t.layout, burst);
        });
        if (other != kModels.end()) {
            r.events.push_back("a " + std::string(other->layoutName) +
                               " configuration upload, but this is a " + modelName(model_) +
                               ": ignored");
        } else {
            r.events.push_back(std::to_string(burst.size()) +
                               (burst.size() < 4 ? " bytes, too short for a frame: ignored"
                                                 : " bytes with a bad CRC: ignored"));
        }
        return;
    }
    const std::string kind(own.layoutName);
    std::string reason;
    std::vector<std::string> words;
    LineFormat line;
    int address = 0;
    const auto take = [&](const auto& d, auto& config) {
        if (d.config) {
            config = d.config;
            words = describe(*d.config);
            line = d.config->line;
            address = d.config->address;
        }
        reason = d.reason;
    };
    switch (own.layout) {
        case ImageLayout::Image1602:
            take(decode1602(burst), config1602_);
            break;
        case ImageLayout::Upload2004:
            take(decode2004(burst), config2004_);
            break;
    }
    if (words.empty()) {
        r.verdict = Verdict::ConfigRejected;
        r.events.push_back(std::to_string(burst.size()) + " bytes with a bad CRC, and not a " +
                           kind + " configuration upload either: " + reason + "; nothing changed");
        return;
    }
    r.verdict = Verdict::ConfigApplied;
    r.events.push_back(kind + " configuration upload accepted:");
    for (const std::string& w : words) {
        r.events.push_back("  " + w);
    }
    address_ = address;
    r.lineChanged = !(line == line_);
    line_ = line;
    r.events.push_back("now answering as slave " + std::to_string(address_) + " at " +
                       describe(line_));
    showStartScreen(r);
}

// The 16x2 carries its six messages in the image; the 20x4 keeps messages 1..10 in the
// 20-character slots that function 16 writes at start address 40, 50, ... 130, and has no
// room for 11..20.
std::string Module::message(int n) const {
    const auto columns = static_cast<std::size_t>(displayColumns());
    std::string text(columns, ' ');
    if (config1602_ && n >= 1 && n <= static_cast<int>(config1602_->messages.size())) {
        const auto& m = config1602_->messages[static_cast<std::size_t>(n - 1)];
        std::copy(m.begin(), m.end(), text.begin());
    } else if (n >= 1 && n <= traits().messageSlots) {
        const std::size_t first =
            traits().firstMessageRegister + static_cast<std::size_t>(n - 1) * columns / 2;
        for (std::size_t c = 0; c < columns; ++c) {
            const std::uint16_t reg = holding_[first + c / 2];
            text[c] = static_cast<char>(c % 2 == 0 ? reg >> 8 : reg & 0xFF);
        }
    }
    // A slot never written holds zeros, which the display shows as blanks.
    std::replace(text.begin(), text.end(), '\0', ' ');
    return text;
}

// A module that takes a configuration starts afresh: its start screen replaces the text.
void Module::showStartScreen(Result& r) {
    std::vector<int> screen;
    // Only the model's own image is ever taken, so at most one of the two is there.
    if (config1602_) {
        screen.assign(config1602_->startScreen.begin(), config1602_->startScreen.end());
    } else if (config2004_) {
        screen.assign(config2004_->startScreen.begin(), config2004_->startScreen.end());
    }
    const auto columns = static_cast<std::size_t>(displayColumns());
    for (std::size_t line = 0; line < screen.size(); ++line) {
        const std::string text = message(screen[line]);
        for (std::size_t c = 0; c < columns; c += 2) {
            holding_[(line * columns + c) / 2] = static_cast<std::uint16_t>(
                static_cast<std::uint8_t>(text[c]) << 8 | static_cast<std::uint8_t>(text[c + 1]));
        }
    }
    r.events.emplace_back("display restarted with the start screen");
    reportWrite(0, displayRegisterCount(), r);
}

void Module::close(std::optional<std::vector<std::uint8_t>> reply, Result& r) {
    if (reply) {
        if (faults_.noReply) {
            r.events.push_back("fault no-reply #" + std::to_string(++counts_.noReply) +
                               ": reply withheld");
        } else {
            r.reply = std::move(*reply);
            appendCrc(r.reply);
            if (faults_.corruptCrc) {
                r.reply[r.reply.size() - 2] ^= 0xFF;
                r.events.push_back("fault corrupt-crc #" + std::to_string(++counts_.corruptCrc) +
                                   ": CRC low byte inverted");
            }
            if (faults_.truncate && *faults_.truncate < r.reply.size()) {
                r.reply.resize(*faults_.truncate);
                r.events.push_back("fault truncate #" + std::to_string(++counts_.truncate) +
                                   ": reply cut to " + std::to_string(*faults_.truncate) +
                                   " bytes");
            }
            if (faults_.extra > 0) {
                r.reply.insert(r.reply.end(), faults_.extra, kStrayByte);
                r.events.push_back("fault extra #" + std::to_string(++counts_.extra) + ": " +
                                   std::to_string(faults_.extra) + " stray bytes appended");
            }
        }
    }
}

}  // namespace korvo
