// The port component's settings: each setter stores its value and, while the port is open,
// applies it to the dispatcher at once. Flow control thresholds, trace and log control.
#include <algorithm>
#include <string>

#include "serial/port/com_port.h"

namespace {

uint32_t HWFlowWord(THWFlowOptionSet s) {
    uint32_t w = 0;
    if (s.Contains(THWFlowOptions::hwfUseDTR)) w |= 1;
    if (s.Contains(THWFlowOptions::hwfUseRTS)) w |= 2;
    if (s.Contains(THWFlowOptions::hwfRequireDSR)) w |= 4;
    if (s.Contains(THWFlowOptions::hwfRequireCTS)) w |= 8;
    return w;
}

uint32_t SWFlowWord(TSWFlowOptions o) {
    switch (o) {
        case TSWFlowOptions::swfReceive:
            return 2;
        case TSWFlowOptions::swfTransmit:
            return 1;
        case TSWFlowOptions::swfBoth:
            return 3;
        case TSWFlowOptions::swfNone:
            break;
    }
    return 0;
}

}  // namespace

void TSioCustomComPort::SetDeviceLayer(TDeviceLayer Value) {
    if (FPortState != TPortState::psClosed || !FDeviceLayers.Contains(Value)) return;
    FDeviceLayer = Value;
    AfterDeviceLayerChange();
}

void TSioCustomComPort::SetComNumber(uint16_t Value) {
    if (Value == FComNumber) return;
    if (!IsOpen()) {
        FComNumber = Value;
        return;
    }
    // The close saves the triggers and the open gives them to the new dispatcher, before the
    // users hear of it: restoring them again afterwards would take back the triggers a user (a
    // packet manager's timer) took at the open.
    const TTraceLogState tracing = FTracing;
    const TTraceLogState logging = FLogging;
    SetOpen(false);
    FComNumber = Value;
    SetTracing(tracing);
    SetLogging(logging);
    SetOpen(true);
}

void TSioCustomComPort::ApplyLine() {
    if (IsOpen())
        Check(FDispatcher->SetLine(FBaud, static_cast<uint32_t>(FParity),
                                   static_cast<TDatabits>(FDataBits),
                                   static_cast<TStopbits>(FStopBits)));
}

void TSioCustomComPort::SetBaud(int32_t Value) {
    if (Value == FBaud) return;
    FBaud = Value;
    ApplyLine();
}

void TSioCustomComPort::SetParity(TParity Value) {
    if (Value == FParity) return;
    FParity = Value;
    ApplyLine();
}

void TSioCustomComPort::SetDataBits(uint16_t Value) {
    if (Value == FDataBits) return;
    FDataBits = Value;
    ApplyLine();
}

void TSioCustomComPort::SetStopBits(uint16_t Value) {
    if (Value == FStopBits) return;
    FStopBits = Value;
    ApplyLine();
}

void TSioCustomComPort::SetInSize(uint16_t Value) {
    if (Value == FInSize) return;
    FInSize = Value;
    if (IsOpen()) (void)FDispatcher->SetCommBuffers(FInSize, FOutSize);
}

void TSioCustomComPort::SetOutSize(uint16_t Value) {
    if (Value == FOutSize) return;
    FOutSize = Value;
    if (IsOpen()) (void)FDispatcher->SetCommBuffers(FInSize, FOutSize);
}

void TSioCustomComPort::SetDTR(bool Value) {
    if (Value == FDTR && !FForce) return;
    if (IsOpen()) {
        if (Check(FDispatcher->SetDtr(Value)) == 0) FDTR = Value;
    } else {
        FDTR = Value;
    }
}

void TSioCustomComPort::SetRTS(bool Value) {
    if (Value == FRTS && !FForce) return;
    if (IsOpen()) {
        if (Check(FDispatcher->SetRts(Value)) == 0) FRTS = Value;
    } else {
        FRTS = Value;
    }
}

void TSioCustomComPort::SetHWFlowOptions(THWFlowOptionSet Value) {
    if (Value == FHWFlowOptions && !FForce) return;
    const uint32_t word = HWFlowWord(Value);
    if (word != 0) {
        if (FBufferFull == 0 || FBufferFull > FInSize) FBufferFull = FInSize * 9 / 10;
        if (FBufferResume == 0 || FBufferResume > FBufferFull) FBufferResume = FInSize / 10;
    }
    if (IsOpen()) Check(FDispatcher->HWFlowOptions(FBufferFull, FBufferResume, word));
    FHWFlowOptions = Value;
    if (Value.Contains(THWFlowOptions::hwfUseRTS) || Value.Contains(THWFlowOptions::hwfRequireCTS))
        SetRS485Mode(false);
}

void TSioCustomComPort::SetSWFlowOptions(TSWFlowOptions Value) {
    if (Value == FSWFlowOptions && !FForce) return;
    const uint32_t word = SWFlowWord(Value);
    if (word != 0) {
        if (FBufferFull == 0 || FBufferFull > FInSize) FBufferFull = FInSize * 3 / 4;
        if (FBufferResume == 0 || FBufferResume > FBufferFull) FBufferResume = FInSize / 4;
    }
    if (IsOpen()) {
        if (word != 0)
            Check(FDispatcher->SWFlowEnable(FBufferFull, FBufferResume, word));
        else
            Check(FDispatcher->SWFlowDisable());
    }
    FSWFlowOptions = Value;
}

void TSioCustomComPort::ReapplyFlow() {
    const bool force = FForce;
    FForce = true;
    try {
        SetHWFlowOptions(FHWFlowOptions);
        SetSWFlowOptions(FSWFlowOptions);
    } catch (...) {
        FForce = force;
        throw;
    }
    FForce = force;
}

void TSioCustomComPort::SetBufferFull(uint16_t Value) {
    if (Value == FBufferFull && !FForce) return;
    FBufferFull = Value > FInSize ? static_cast<uint16_t>(Value * 9 / 10) : Value;
    ReapplyFlow();
}

void TSioCustomComPort::SetBufferResume(uint16_t Value) {
    if (Value == FBufferResume && !FForce) return;
    FBufferResume = Value > FBufferFull ? static_cast<uint16_t>(FBufferFull / 10) : Value;
    ReapplyFlow();
}

void TSioCustomComPort::SetXOnChar(char Value) {
    if (Value == FXOnChar && !FForce) return;
    FXOnChar = Value;
    if (IsOpen()) Check(FDispatcher->SWFlowChars(FXOnChar, FXOffChar));
}

void TSioCustomComPort::SetXOffChar(char Value) {
    if (Value == FXOffChar && !FForce) return;
    FXOffChar = Value;
    if (IsOpen()) Check(FDispatcher->SWFlowChars(FXOnChar, FXOffChar));
}

void TSioCustomComPort::SetUseEventWord(bool Value) {
    if (Value == FUseEventWord && !FForce) return;
    FUseEventWord = Value;
    if (IsOpen()) {
        if (Value)
            FDispatcher->OptionsOn(4);
        else
            FDispatcher->OptionsOff(4);
    }
}

void TSioCustomComPort::SetRS485Mode(bool Value) {
    if (Value == FRS485Mode && !FForce) return;
    FRS485Mode = Value;
    if (IsOpen()) FDispatcher->SetRS485Mode(Value);
    if (Value) {
        THWFlowOptionSet hw = FHWFlowOptions;
        hw.Exclude(THWFlowOptions::hwfUseRTS).Exclude(THWFlowOptions::hwfRequireCTS);
        SetHWFlowOptions(hw);
        SetRTS(false);
    }
}

void TSioCustomComPort::SetThreadBoost(TSioThreadBoost Value) {
    if (Value == FThreadBoost && !FForce) return;
    FThreadBoost = Value;
    if (IsOpen()) FDispatcher->SetThreadBoost(static_cast<uint8_t>(Value));
}

void TSioCustomComPort::SetTriggerLength(uint16_t Value) {
    if (Value == FTriggerLength && !FForce) return;
    FTriggerLength = Value;
    if (IsOpen()) FDispatcher->ChangeLengthTrigger(Value);
}

uint16_t TSioCustomComPort::BaseAddress() { return IsOpen() ? FDispatcher->GetBaseAddress() : 0; }

void TSioCustomComPort::SetBaseAddress(uint16_t Value) {
    if (!IsOpen()) return;
    if (Value != FDispatcher->GetBaseAddress() || FForce) FDispatcher->SetBaseAddress(Value);
}

// ---- trace and log ----

void TSioCustomComPort::SetTracing(TTraceLogState Value) { SetTraceLogState(false, Value); }
void TSioCustomComPort::SetLogging(TTraceLogState Value) { SetTraceLogState(true, Value); }

// One state table for both: the trace (Log false) and the dispatch log (Log true). Only the log's
// dump and append results are checked; every trace result that the table names is.
void TSioCustomComPort::SetTraceLogState(bool Log, TTraceLogState Value) {
    TTraceLogState& current = Log ? FLogging : FTracing;
    if (Value == current && !FForce) return;
    if (!IsOpen()) {
        current = (Value == TTraceLogState::tlOff || Value == TTraceLogState::tlOn)
                      ? Value
                      : TTraceLogState::tlOff;
        return;
    }
    TSioBaseDispatcher& d = *FDispatcher;
    const bool running = current == TTraceLogState::tlOn || current == TTraceLogState::tlPause;
    auto start = [&] { Log ? d.StartDispatchLogging() : d.StartTracing(); };
    auto write = [&](bool append) {
        if (Log)
            Check(append ? d.AppendDispatchLog(FLogName, FLogHex, FLogAllHex)
                         : d.DumpDispatchLog(FLogName, FLogHex, FLogAllHex));
        else
            Check(append ? d.AppendTrace(FTraceName, FTraceHex, FTraceAllHex)
                         : d.DumpTrace(FTraceName, FTraceHex, FTraceAllHex));
    };
    switch (Value) {
        case TTraceLogState::tlOff:
            if (running) {
                Log ? d.AbortDispatchLogging() : d.AbortTracing();
                current = TTraceLogState::tlOff;
            }
            break;
        case TTraceLogState::tlOn:
            if (current == TTraceLogState::tlPause)
                start();
            else if (Log)
                d.InitDispatchLogging(FLogSize);
            else
                Check(d.InitTracing(FTraceSize));
            current = TTraceLogState::tlOn;
            break;
        case TTraceLogState::tlDump:
        case TTraceLogState::tlAppend:
            if (running) {
                start();
                write(Value == TTraceLogState::tlAppend);
                current = TTraceLogState::tlOff;
            }
            break;
        case TTraceLogState::tlClear:
            if (running) {
                if (Log)
                    d.ClearDispatchLogging();
                else
                    Check(d.ClearTracing());
            }
            break;
        case TTraceLogState::tlPause:
            if (current == TTraceLogState::tlOn) {
                Log ? d.StopDispatchLogging() : d.StopTracing();
                current = TTraceLogState::tlPause;
            }
            break;
        case TTraceLogState::tlAppendAndContinue:
            if (running) {
                start();
                write(true);
                current = TTraceLogState::tlOn;
            }
            break;
    }
}

// The cap comes before the comparison: a value over it, set again, is the stored value and
// restarts nothing.
void TSioCustomComPort::SetTraceSize(uint32_t Value) {
    Value = std::min(Value, MaxTraceSize);
    if (Value == FTraceSize) return;
    FTraceSize = Value;
    if (IsOpen() && (FTracing == TTraceLogState::tlOn || FTracing == TTraceLogState::tlPause)) {
        const TTraceLogState former = FTracing;
        SetTracing(TTraceLogState::tlOff);
        SetTracing(former);
    }
}

void TSioCustomComPort::SetLogSize(uint32_t Value) {
    Value = std::min(Value, MaxLogSize);
    if (Value == FLogSize) return;
    FLogSize = Value;
    if (IsOpen() && (FLogging == TTraceLogState::tlOn || FLogging == TTraceLogState::tlPause)) {
        const TTraceLogState former = FLogging;
        SetLogging(TTraceLogState::tlOff);
        SetLogging(former);
    }
}
