#include "sim/sim_eeprom.h"

#include <algorithm>
#include <utility>

namespace lpt::sim {

namespace {

constexpr std::uint8_t kDeviceTypeMask = 0xF0;
constexpr std::uint8_t kDeviceType = 0xA0;  // 1010 xxx x

}  // namespace

SimEeprom::SimEeprom(ClockFn clock, const ChipChoice& chip)
    : clock_(std::move(clock)),
      chip_(chip),
      geometry_(chip.Geometry()),
      comparedBits_(chip.Part().pinBits),
      answers_((chip.Pins() & chip.Part().pinsTiedHigh) == chip.Part().pinsTiedHigh),
      dataMovesPointer_(&chip.Part() != &DefaultChip()),
      memory_(static_cast<std::size_t>(geometry_.size), 0xFF),  // erased cells read as all ones
      writeCycle_(geometry_.writeCycle),
      page_(static_cast<std::size_t>(geometry_.pageSize)),
      pageDirty_(static_cast<std::size_t>(geometry_.pageSize)) {}

void SimEeprom::SetPresent(bool present) {
    present_ = present;
    if (!present_) {
        DiscardPage();
        wordBytesLeft_ = 0;
    }
}

void SimEeprom::SetHoldSdaLow(bool on) {
    ForceSdaLow(on);
}

void SimEeprom::SetWriteCycle(TimeNs duration) {
    writeCycle_ = duration;
}

bool SimEeprom::Busy() const {
    return clock_() < busyUntil_;
}

bool SimEeprom::SdaOut() const {
    // A memory that is not there drives nothing, not even a stuck line.
    return !present_ || I2CTarget::SdaOut();
}

void SimEeprom::OnStart(bool repeated) {
    (void)repeated;
    // A start (repeated or not) before the stop throws away the bytes of an unfinished write.
    // A complete word address has already moved the pointer and stays in effect; half of a
    // two-byte one is forgotten.
    DiscardPage();
    wordBytesLeft_ = 0;
}

bool SimEeprom::Selects(std::uint8_t addressByte) const {
    return (addressByte & kDeviceTypeMask) == kDeviceType &&
           (addressByte & comparedBits_) == (geometry_.deviceType & comparedBits_);
}

bool SimEeprom::OnAddress(std::uint8_t addressByte) {
    if (!present_ || !answers_ || !Selects(addressByte)) {
        return false;
    }
    if (Busy()) {
        ++refusedAddresses_;
        return false;
    }
    // The block bits count for a write only: a read goes on from the pointer.
    high_ = static_cast<std::uint32_t>((addressByte & geometry_.highBits) >> geometry_.highShift);
    wordBytesLeft_ = (addressByte & 1) == 0 ? geometry_.addressBytes : 0;
    wordAddress_ = 0;
    return true;
}

void SimEeprom::LoadPointer(std::uint32_t address) {
    const auto pageSize = static_cast<std::uint32_t>(geometry_.pageSize);
    // Address bits beyond the part are ignored, as the parts do.
    pointer_ = address % static_cast<std::uint32_t>(Size());
    pageBase_ = pointer_ & ~(pageSize - 1);
    pageOffset_ = static_cast<int>(pointer_ & (pageSize - 1));
}

bool SimEeprom::OnWrite(std::uint8_t byte) {
    if (!present_) {
        return false;
    }
    if (wordBytesLeft_ > 0) {
        wordAddress_ = (wordAddress_ << 8) | byte;
        if (--wordBytesLeft_ == 0) {
            LoadPointer((high_ << (8 * geometry_.addressBytes)) | wordAddress_);
        }
        return true;
    }
    page_[pageOffset_] = byte;
    pageDirty_[pageOffset_] = true;
    pageOffset_ = (pageOffset_ + 1) % geometry_.pageSize;  // the page wraps onto itself
    if (dataMovesPointer_) pointer_ = pageBase_ + static_cast<std::uint32_t>(pageOffset_);
    haveData_ = true;
    return true;
}

std::uint8_t SimEeprom::OnRead() {
    if (readsLeft_ == 0) {
        readsLeft_ = -1;
        SetPresent(false);
    }
    if (!present_) {
        return 0xFF;
    }
    if (readsLeft_ > 0) --readsLeft_;
    const std::uint8_t byte = memory_[pointer_];
    pointer_ = (pointer_ + 1) % static_cast<std::uint32_t>(Size());
    return byte;
}

void SimEeprom::OnStop(bool afterAck) {
    if (present_ && afterAck && haveData_ && !writeProtected_) {
        CommitPage();
    }
    DiscardPage();
    wordBytesLeft_ = 0;
}

void SimEeprom::DiscardPage() {
    std::fill(pageDirty_.begin(), pageDirty_.end(), false);
    haveData_ = false;
}

void SimEeprom::CommitPage() {
    for (int i = 0; i < geometry_.pageSize; ++i) {
        if (pageDirty_[i]) {
            memory_[pageBase_ + i] = page_[i];
        }
    }
    pointer_ = pageBase_ + static_cast<std::uint32_t>(pageOffset_);
    busyUntil_ = clock_() + writeCycle_;
    ++committedWrites_;
}

SimResponder::SimResponder(std::initializer_list<std::uint8_t> addressBytes) {
    for (std::uint8_t a : addressBytes) {
        answers_[a] = true;
    }
}

bool SimResponder::OnAddress(std::uint8_t addressByte) {
    if (!answers_[addressByte]) {
        return false;
    }
    ++probes_;
    return true;
}

bool SimResponder::OnWrite(std::uint8_t byte) {
    (void)byte;
    return true;
}

std::uint8_t SimResponder::OnRead() {
    return 0xFF;
}

}  // namespace lpt::sim
