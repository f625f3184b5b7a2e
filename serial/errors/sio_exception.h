// The serial layer's exception classes: ESioException, which carries a result code, its eleven
// families and their specific classes. CheckResultCode (check_result_code.h) picks the class for
// a code.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

class ESioException : public std::runtime_error {
  public:
    // ErrorCode := EC, the sign kept; the message is that of the code's magnitude. PassThru is
    // accepted for the callers that give it and has no effect.
    explicit ESioException(int32_t EC, bool PassThru = false);
    // An exception for a failure without a code of its own: ErrorCode is 0 and the message is Msg.
    static ESioException CreateUnknown(const std::string& Msg, uint8_t Dummy = 0);
    // The message number of a code: its magnitude (clamped at the largest 32-bit value).
    static int32_t MapCodeToStringID(int32_t Code);

    int32_t ErrorCode() const { return FErrorCode; }
    void SetErrorCode(int32_t Value) { FErrorCode = Value; }

  protected:
    struct UnknownTag {};
    ESioException(UnknownTag, const std::string& Msg);

  private:
    int32_t FErrorCode;
};

// The families derive from ESioException and the specific classes from their family; none adds
// anything, so a class is only a name to catch by.
#define SIO_EXCEPTION_CLASS(Name, Base) \
    class Name : public Base {          \
      public:                           \
        using Base::Base;               \
    };

// EGeneral
SIO_EXCEPTION_CLASS(EGeneral, ESioException)
SIO_EXCEPTION_CLASS(EBadArgument, EGeneral)
SIO_EXCEPTION_CLASS(EGotQuitMsg, EGeneral)
SIO_EXCEPTION_CLASS(EBufferTooBig, EGeneral)
SIO_EXCEPTION_CLASS(EPortNotAssigned, EGeneral)
SIO_EXCEPTION_CLASS(EInternal, EGeneral)
SIO_EXCEPTION_CLASS(EModemNotAssigned, EGeneral)
SIO_EXCEPTION_CLASS(EPhonebookNotAssigned, EGeneral)
SIO_EXCEPTION_CLASS(ECannotUseWithWinSock, EGeneral)

// EOpenComm
SIO_EXCEPTION_CLASS(EOpenComm, ESioException)
SIO_EXCEPTION_CLASS(EBadId, EOpenComm)
SIO_EXCEPTION_CLASS(EBaudRate, EOpenComm)
SIO_EXCEPTION_CLASS(EByteSize, EOpenComm)
SIO_EXCEPTION_CLASS(EDefault, EOpenComm)
SIO_EXCEPTION_CLASS(EHardware, EOpenComm)
SIO_EXCEPTION_CLASS(EMemory, EOpenComm)
SIO_EXCEPTION_CLASS(ECommNotOpen, EOpenComm)
SIO_EXCEPTION_CLASS(EAlreadyOpen, EOpenComm)
SIO_EXCEPTION_CLASS(ENoHandles, EOpenComm)
SIO_EXCEPTION_CLASS(ENoTimers, EOpenComm)
SIO_EXCEPTION_CLASS(ENoPortSelected, EOpenComm)
SIO_EXCEPTION_CLASS(ENotOpenedByTapi, EOpenComm)

// ESerialIO
SIO_EXCEPTION_CLASS(ESerialIO, ESioException)
SIO_EXCEPTION_CLASS(ENullApi, ESerialIO)
SIO_EXCEPTION_CLASS(ERegisterHandlerFailed, ESerialIO)
SIO_EXCEPTION_CLASS(EPutBlockFail, ESerialIO)
SIO_EXCEPTION_CLASS(EGetBlockFail, ESerialIO)
SIO_EXCEPTION_CLASS(EOutputBufferTooSmall, ESerialIO)
SIO_EXCEPTION_CLASS(EBufferIsEmpty, ESerialIO)
SIO_EXCEPTION_CLASS(ETracingNotEnabled, ESerialIO)
SIO_EXCEPTION_CLASS(ELoggingNotEnabled, ESerialIO)
SIO_EXCEPTION_CLASS(EBaseAddressNotSet, ESerialIO)

// EModem
SIO_EXCEPTION_CLASS(EModem, ESioException)
SIO_EXCEPTION_CLASS(EModemNotStarted, EModem)
SIO_EXCEPTION_CLASS(EModemBusy, EModem)
SIO_EXCEPTION_CLASS(EModemNotDialing, EModem)
SIO_EXCEPTION_CLASS(ENotDialing, EModem)
SIO_EXCEPTION_CLASS(EAlreadyDialing, EModem)
SIO_EXCEPTION_CLASS(EModemNotResponding, EModem)
SIO_EXCEPTION_CLASS(EModemRejectedCommand, EModem)
SIO_EXCEPTION_CLASS(EModemStatusMismatch, EModem)

// ETrigger
SIO_EXCEPTION_CLASS(ETrigger, ESioException)
SIO_EXCEPTION_CLASS(ENoMoreTriggers, ETrigger)
SIO_EXCEPTION_CLASS(ETriggerTooLong, ETrigger)
SIO_EXCEPTION_CLASS(EBadTriggerHandle, ETrigger)

// EPacket
SIO_EXCEPTION_CLASS(EPacket, ESioException)
SIO_EXCEPTION_CLASS(EInvalidProperty, EPacket)

// EProtocol
SIO_EXCEPTION_CLASS(EProtocol, ESioException)

// EINI
SIO_EXCEPTION_CLASS(EINI, ESioException)
SIO_EXCEPTION_CLASS(EKeyTooLong, EINI)
SIO_EXCEPTION_CLASS(EDataTooLarge, EINI)
SIO_EXCEPTION_CLASS(EIniWrite, EINI)
SIO_EXCEPTION_CLASS(EIniRead, EINI)
SIO_EXCEPTION_CLASS(ERecordExists, EINI)
SIO_EXCEPTION_CLASS(ERecordNotFound, EINI)
SIO_EXCEPTION_CLASS(EDatabaseFull, EINI)
SIO_EXCEPTION_CLASS(EDatabaseEmpty, EINI)
SIO_EXCEPTION_CLASS(EBadFieldList, EINI)
SIO_EXCEPTION_CLASS(EBadFieldForIndex, EINI)

// EFax
SIO_EXCEPTION_CLASS(EFax, ESioException)
SIO_EXCEPTION_CLASS(EFaxBadFormat, EFax)
SIO_EXCEPTION_CLASS(EBadGraphicsFormat, EFax)
SIO_EXCEPTION_CLASS(EConvertAbort, EFax)
SIO_EXCEPTION_CLASS(EUnpackAbort, EFax)
SIO_EXCEPTION_CLASS(ECantMakeBitmap, EFax)
SIO_EXCEPTION_CLASS(EInvalidPageNumber, EFax)
SIO_EXCEPTION_CLASS(EFaxBadMachine, EFax)
SIO_EXCEPTION_CLASS(EFaxBadModemResult, EFax)
SIO_EXCEPTION_CLASS(EFaxTrainError, EFax)
SIO_EXCEPTION_CLASS(EFaxInitError, EFax)
SIO_EXCEPTION_CLASS(EFaxBusy, EFax)
SIO_EXCEPTION_CLASS(EFaxVoiceCall, EFax)
SIO_EXCEPTION_CLASS(EFaxDataCall, EFax)
SIO_EXCEPTION_CLASS(EFaxNoDialTone, EFax)
SIO_EXCEPTION_CLASS(EFaxNoCarrier, EFax)
SIO_EXCEPTION_CLASS(EFaxSessionError, EFax)
SIO_EXCEPTION_CLASS(EFaxPageError, EFax)

// ETapi
SIO_EXCEPTION_CLASS(ETapi, ESioException)
SIO_EXCEPTION_CLASS(ETapiAllocated, ETapi)
SIO_EXCEPTION_CLASS(ETapiBadDeviceID, ETapi)
SIO_EXCEPTION_CLASS(ETapiBearerModeUnavail, ETapi)
SIO_EXCEPTION_CLASS(ETapiCallUnavail, ETapi)
SIO_EXCEPTION_CLASS(ETapiCompletionOverrun, ETapi)
SIO_EXCEPTION_CLASS(ETapiConferenceFull, ETapi)
SIO_EXCEPTION_CLASS(ETapiDialBilling, ETapi)
SIO_EXCEPTION_CLASS(ETapiDialDialtone, ETapi)
SIO_EXCEPTION_CLASS(ETapiDialPrompt, ETapi)
SIO_EXCEPTION_CLASS(ETapiDialQuiet, ETapi)
SIO_EXCEPTION_CLASS(ETapiIncompatibleApiVersion, ETapi)
SIO_EXCEPTION_CLASS(ETapiIncompatibleExtVersion, ETapi)
SIO_EXCEPTION_CLASS(ETapiIniFileCorrupt, ETapi)
SIO_EXCEPTION_CLASS(ETapiInUse, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalAddress, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalAddressID, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalAddressMode, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalAddressState, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalAppHandle, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalAppName, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalBearerMode, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalCallComplMode, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalCallHandle, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalCallParams, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalCallPrivilege, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalCallSelect, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalCallState, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalCallStatelist, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalCard, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalCompletionID, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalConfCallHandle, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalConsultCallHandle, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalCountryCode, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalDeviceClass, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalDeviceHandle, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalDialParams, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalDigitList, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalDigitMode, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalDigits, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalExtVersion, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalGroupID, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalLineHandle, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalLineState, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalLocation, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalMediaList, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalMediaMode, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalMessageID, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalParam, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalParkID, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalParkMode, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalPointer, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalPrivSelect, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalRate, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalRequestMode, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalTerminalID, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalTerminalMode, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalTimeout, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalTone, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalToneList, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalToneMode, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalTransferMode, ETapi)
SIO_EXCEPTION_CLASS(ETapiLineMapperFailed, ETapi)
SIO_EXCEPTION_CLASS(ETapiNoConference, ETapi)
SIO_EXCEPTION_CLASS(ETapiNoDevice, ETapi)
SIO_EXCEPTION_CLASS(ETapiNoDriver, ETapi)
SIO_EXCEPTION_CLASS(ETapiNoMem, ETapi)
SIO_EXCEPTION_CLASS(ETapiNoRequest, ETapi)
SIO_EXCEPTION_CLASS(ETapiNotOwner, ETapi)
SIO_EXCEPTION_CLASS(ETapiNotRegistered, ETapi)
SIO_EXCEPTION_CLASS(ETapiOperationFailed, ETapi)
SIO_EXCEPTION_CLASS(ETapiOperationUnavail, ETapi)
SIO_EXCEPTION_CLASS(ETapiRateUnavail, ETapi)
SIO_EXCEPTION_CLASS(ETapiResourceUnavail, ETapi)
SIO_EXCEPTION_CLASS(ETapiRequestOverrun, ETapi)
SIO_EXCEPTION_CLASS(ETapiStructureTooSmall, ETapi)
SIO_EXCEPTION_CLASS(ETapiTargetNotFound, ETapi)
SIO_EXCEPTION_CLASS(ETapiTargetSelf, ETapi)
SIO_EXCEPTION_CLASS(ETapiUninitialized, ETapi)
SIO_EXCEPTION_CLASS(ETapiUserUserInfoTooBig, ETapi)
SIO_EXCEPTION_CLASS(ETapiReinit, ETapi)
SIO_EXCEPTION_CLASS(ETapiAddressBlocked, ETapi)
SIO_EXCEPTION_CLASS(ETapiBillingRejected, ETapi)
SIO_EXCEPTION_CLASS(ETapiInvalFeature, ETapi)
SIO_EXCEPTION_CLASS(ETapiNoMultipleInstance, ETapi)
SIO_EXCEPTION_CLASS(ETapiBusy, ETapi)
SIO_EXCEPTION_CLASS(ETapiNotSet, ETapi)
SIO_EXCEPTION_CLASS(ETapiNoSelect, ETapi)
SIO_EXCEPTION_CLASS(ETapiLoadFail, ETapi)
SIO_EXCEPTION_CLASS(ETapiGetAddrFail, ETapi)
SIO_EXCEPTION_CLASS(ETapiVoiceNotSupported, ETapi)
SIO_EXCEPTION_CLASS(ETapiWaveFail, ETapi)
SIO_EXCEPTION_CLASS(ETapiTranslateFail, ETapi)

// ERas
SIO_EXCEPTION_CLASS(ERas, ESioException)
SIO_EXCEPTION_CLASS(ERasLoadFail, ERas)

#undef SIO_EXCEPTION_CLASS
