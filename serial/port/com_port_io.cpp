// The port component's forwards to its dispatcher: character and block input and output, line
// state readings, trace and log entries, and the trigger operations. While the port shuts down
// they do nothing; otherwise they open the port when AutoOpen allows it and pass the dispatcher's
// result codes through the error check.
#include <cstring>
#include <memory>
#include <string>

#include "platform/text.h"
#include "serial/dispatch/tick_timer.h"
#include "serial/errors/sio_exception.h"
#include "serial/port/com_port.h"

// ---- input and output ----

bool TSioCustomComPort::CharReady() {
    TSioBaseDispatcher* d = ForwardDispatcher();
    return d && d->CharReady();
}

char TSioCustomComPort::PeekChar(uint16_t Count) {
    TSioBaseDispatcher* d = ForwardDispatcher();
    if (!d) return 0;
    char c = 0;
    Check(d->PeekChar(c, Count));
    return c;
}

char TSioCustomComPort::GetChar() {
    TSioBaseDispatcher* d = ForwardDispatcher();
    if (!d) return 0;
    char c = 0;
    Check(d->GetChar(c));
    return c;
}

void TSioCustomComPort::PeekBlock(void* Block, uint16_t Len) {
    if (TSioBaseDispatcher* d = ForwardDispatcher()) Check(d->PeekBlock(Block, Len));
}

void TSioCustomComPort::GetBlock(void* Block, uint16_t Len) {
    if (TSioBaseDispatcher* d = ForwardDispatcher()) Check(d->GetBlock(Block, Len));
}

void TSioCustomComPort::PutChar(char C) {
    if (TSioBaseDispatcher* d = ForwardDispatcher()) Check(d->PutChar(C));
}

void TSioCustomComPort::PutString(const std::wstring& S) { PutString(platform::WideToAnsi(S)); }

void TSioCustomComPort::PutString(const std::string& S) {
    if (TSioBaseDispatcher* d = ForwardDispatcher())
        Check(d->PutBlock(S.data(), static_cast<uint32_t>(S.size())));
}

int32_t TSioCustomComPort::PutBlock(const void* Block, uint16_t Len) {
    if (TSioBaseDispatcher* d = ForwardDispatcher()) Check(d->PutBlock(Block, Len));
    return 0;
}

void TSioCustomComPort::FlushInBuffer() {
    if (TSioBaseDispatcher* d = ForwardDispatcher()) Check(d->FlushInBuffer());
}

void TSioCustomComPort::FlushOutBuffer() {
    if (TSioBaseDispatcher* d = ForwardDispatcher()) Check(d->FlushOutBuffer());
}

void TSioCustomComPort::SendBreak(uint16_t Ticks, bool Yield) {
    TSioBaseDispatcher* d = ForwardDispatcher();
    if (!d) return;
    const std::weak_ptr<int> life = FLife;
    const uint32_t opening = FOpenings;
    d->SetBreak(true);
    WaitTicks(static_cast<int32_t>(Ticks), Yield);
    // A yielding break handles messages while the line is held: one of them may have freed the
    // port, or closed it (freeing d) or closed and reopened it. The break then touches nothing of
    // either and answers as for a port that is not open.
    if (life.expired()) throw ECommNotOpen(-2007);
    CheckWaitedPort(opening);
    d->SetBreak(false);
}

void TSioCustomComPort::SetBreak(bool BreakOn) {
    if (TSioBaseDispatcher* d = ForwardDispatcher()) d->SetBreak(BreakOn);
}

void TSioCustomComPort::ProcessCommunications() {
    if (TSioBaseDispatcher* d = ForwardDispatcher()) Check(d->ProcessCommunications());
}

void TSioCustomComPort::AddTraceEntry(char CurEntry, char CurCh) {
    if (TSioBaseDispatcher* d = ForwardDispatcher()) d->AddTraceEntry(CurEntry, CurCh);
}

void TSioCustomComPort::AddStringToLog(const std::string& S) {
    if (TSioBaseDispatcher* d = ForwardDispatcher()) d->AddStringToLog(S);
}

// ---- readings ----

TFlowControlState TSioCustomComPort::FlowState() {
    if (ShuttingDown()) return TFlowControlState::fcOff;
    TSioBaseDispatcher* d = ValidDispatcher();
    auto state = static_cast<TFlowControlState>(Check(d->HWFlowState()) - 1);
    if (state == TFlowControlState::fcOff)
        state = static_cast<TFlowControlState>(Check(d->SWFlowState()) - 1);
    return state;
}

uint8_t TSioCustomComPort::ModemStatus() {
    if (ShuttingDown()) return 0;
    return ValidDispatcher()->GetModemStatus();
}

bool TSioCustomComPort::DSR() { return IsOpen() && FDispatcher->CheckDSR(); }
bool TSioCustomComPort::CTS() { return IsOpen() && FDispatcher->CheckCTS(); }
bool TSioCustomComPort::RI() { return IsOpen() && FDispatcher->CheckRI(); }
bool TSioCustomComPort::DCD() { return IsOpen() && FDispatcher->CheckDCD(); }
bool TSioCustomComPort::DeltaDSR() { return IsOpen() && FDispatcher->CheckDeltaDSR(); }
bool TSioCustomComPort::DeltaCTS() { return IsOpen() && FDispatcher->CheckDeltaCTS(); }
bool TSioCustomComPort::DeltaRI() { return IsOpen() && FDispatcher->CheckDeltaRI(); }
bool TSioCustomComPort::DeltaDCD() { return IsOpen() && FDispatcher->CheckDeltaDCD(); }

uint16_t TSioCustomComPort::LineError() {
    return IsOpen() ? static_cast<uint16_t>(Check(FDispatcher->GetLineError())) : 0;
}

bool TSioCustomComPort::LineBreak() { return IsOpen() && FDispatcher->CheckLineBreak(); }

uint16_t TSioCustomComPort::InBuffUsed() {
    return IsOpen() ? static_cast<uint16_t>(Check(FDispatcher->InBuffUsed())) : 0;
}

uint16_t TSioCustomComPort::OutBuffUsed() {
    return IsOpen() ? static_cast<uint16_t>(Check(FDispatcher->OutBuffUsed())) : 0;
}

uint16_t TSioCustomComPort::InBuffFree() {
    return IsOpen() ? static_cast<uint16_t>(Check(FDispatcher->InBuffFree()))
                    : static_cast<uint16_t>(DispatchBufferSize);
}

uint16_t TSioCustomComPort::OutBuffFree() {
    return IsOpen() ? static_cast<uint16_t>(Check(FDispatcher->OutBuffFree())) : FOutSize;
}

int32_t TSioCustomComPort::LastWinError() const {
    // Without a dispatcher there is no last error to report.
    return FDispatcher ? FDispatcher->LastWinError.load() : 0;
}

// ---- triggers ----

uint16_t TSioCustomComPort::AddDataTrigger(const std::string& Data, bool IgnoreCase) {
    if (ShuttingDown()) return 0;
    std::string text = Data.substr(0, 255);
    TSioBaseDispatcher* d = ValidDispatcher();
    return static_cast<uint16_t>(
        Check(d->AddDataTriggerLen(text.c_str(), IgnoreCase, static_cast<uint32_t>(text.size()))));
}

uint16_t TSioCustomComPort::AddTimerTrigger() {
    if (ShuttingDown()) return 0;
    return static_cast<uint16_t>(Check(ValidDispatcher()->AddTimerTrigger()));
}

uint16_t TSioCustomComPort::AddStatusTrigger(uint16_t SType) {
    if (ShuttingDown()) return 0;
    return static_cast<uint16_t>(Check(ValidDispatcher()->AddStatusTrigger(SType)));
}

void TSioCustomComPort::RemoveTrigger(uint16_t Handle) {
    if (IsOpen()) Check(FDispatcher->RemoveTrigger(Handle));
}

void TSioCustomComPort::RemoveAllTriggers() {
    if (!IsOpen()) return;
    FDispatcher->RemoveAllTriggers();
    FTriggerLength = 0;
}

void TSioCustomComPort::SetTimerTrigger(uint16_t Handle, int32_t Ticks, bool Activate) {
    if (ShuttingDown()) return;
    Check(ValidDispatcher()->SetTimerTrigger(Handle, Ticks, Activate));
}

void TSioCustomComPort::SetStatusTrigger(uint16_t Handle, uint16_t Value, bool Activate) {
    if (ShuttingDown()) return;
    Check(ValidDispatcher()->SetStatusTrigger(Handle, Value, Activate));
}
