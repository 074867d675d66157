#include "sim/sim_eeprom.h"

#include <utility>

namespace lpt::sim {

namespace {

constexpr std::uint8_t kDeviceTypeMask = 0xF0;
constexpr std::uint8_t kDeviceType = 0xA0;  // 1010 xxx x
constexpr int kBlockSize = 256;

}  // namespace

SimEeprom::SimEeprom(ClockFn clock) : clock_(std::move(clock)), writeCycle_(std::chrono::milliseconds(5)) {
    memory_.fill(0xFF);  // erased cells read as all ones
}

void SimEeprom::SetPresent(bool present) {
    present_ = present;
    if (!present_) {
        DiscardPage();
        expectWordAddress_ = false;
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
    // A word address alone has already moved the pointer and stays in effect.
    DiscardPage();
    expectWordAddress_ = false;
}

bool SimEeprom::OnAddress(std::uint8_t addressByte) {
    if (!present_ || (addressByte & kDeviceTypeMask) != kDeviceType) {
        return false;
    }
    if (Busy()) {
        ++refusedAddresses_;
        return false;
    }
    block_ = (addressByte >> 1) & 0x07;
    expectWordAddress_ = (addressByte & 1) == 0;
    return true;
}

bool SimEeprom::OnWrite(std::uint8_t byte) {
    if (!present_) {
        return false;
    }
    if (expectWordAddress_) {
        expectWordAddress_ = false;
        pointer_ = static_cast<std::uint16_t>(block_ * kBlockSize + byte);
        pageBase_ = static_cast<std::uint16_t>(pointer_ & ~(kPageSize - 1));
        pageOffset_ = pointer_ & (kPageSize - 1);
        return true;
    }
    page_[pageOffset_] = byte;
    pageDirty_[pageOffset_] = true;
    pageOffset_ = (pageOffset_ + 1) % kPageSize;  // the page wraps onto itself
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
    pointer_ = static_cast<std::uint16_t>((pointer_ + 1) % kSize);
    return byte;
}

void SimEeprom::OnStop(bool afterAck) {
    if (present_ && afterAck && haveData_ && !writeProtected_) {
        CommitPage();
    }
    DiscardPage();
    expectWordAddress_ = false;
}

void SimEeprom::DiscardPage() {
    pageDirty_.fill(false);
    haveData_ = false;
}

void SimEeprom::CommitPage() {
    for (int i = 0; i < kPageSize; ++i) {
        if (pageDirty_[i]) {
            memory_[pageBase_ + i] = page_[i];
        }
    }
    pointer_ = static_cast<std::uint16_t>(pageBase_ + pageOffset_);
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
