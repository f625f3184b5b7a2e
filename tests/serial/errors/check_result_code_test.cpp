// CheckResultCode: which class each kind of result code raises, with which ErrorCode and message,
// and the loading sender that gets its code back.
#include "serial/errors/check_result_code.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <typeinfo>

#include "serial/component/component.h"
#include "serial/errors/error_messages.h"
#include "serial/errors/runtime_errors.h"
#include "serial/errors/sio_exception.h"

namespace {

// The exception CheckResultCode raised, caught as the base it must have.
struct Raised {
    bool sio = false;       // an ESioException
    bool inOut = false;     // an EInOutError
    bool outOfMem = false;  // an EOutOfMemory
    const std::type_info* type = nullptr;
    std::function<bool()> isA;  // the expected class and family, checked against the caught one
    int32_t errorCode = 0;
    std::string message;
};

template <typename... Classes>
Raised Check(int32_t code) {
    Raised r;
    try {
        CheckResultCode(nullptr, code);
        ADD_FAILURE() << "code " << code << " did not raise";
    } catch (const ESioException& e) {
        r.sio = true;
        r.type = &typeid(e);
        r.errorCode = e.ErrorCode();
        r.message = e.what();
        bool all = ((dynamic_cast<const Classes*>(&e) != nullptr) && ...);
        r.isA = [all] { return all; };
    } catch (const EInOutError& e) {
        r.inOut = true;
        r.type = &typeid(e);
        r.errorCode = e.ErrorCode();
        r.message = e.what();
    } catch (const EOutOfMemory& e) {
        r.outOfMem = true;
        r.type = &typeid(e);
        r.message = e.what();
    }
    return r;
}

struct ClassCase {
    int32_t code;
    std::function<Raised(int32_t)> check;  // Check<Specific, Family>
    const std::type_info& exact;
    const char* message;
};

TEST(CheckResultCode, SuccessValuesComeBackUnchanged) {
    TComponent port(nullptr);
    for (int32_t v : {0, 5, 1, std::numeric_limits<int32_t>::max()}) {
        EXPECT_EQ(CheckResultCode(&port, v), v);
        EXPECT_EQ(CheckResultCode(nullptr, v), v);
    }
}

TEST(CheckResultCode, MappedCodesRaiseTheirClassWithTheCodeAndItsMessage) {
    const ClassCase cases[] = {
        {-1002, Check<EBadArgument, EGeneral>, typeid(EBadArgument),
         "Bad argument passed to function"},
        {-1003, Check<EGotQuitMsg, EGeneral>, typeid(EGotQuitMsg), nullptr},
        {-1009, Check<ECannotUseWithWinSock, EGeneral>, typeid(ECannotUseWithWinSock), nullptr},
        {-2001, Check<EBadId, EOpenComm>, typeid(EBadId),
         "ie_BadId - Specified comport doesn't exist"},
        {-2007, Check<ECommNotOpen, EOpenComm>, typeid(ECommNotOpen), "ie_NOpen - device not open"},
        {-2008, Check<EAlreadyOpen, EOpenComm>, typeid(EAlreadyOpen),
         "ie_Open - device already open"},
        {-2011, Check<ENoPortSelected, EOpenComm>, typeid(ENoPortSelected),
         "The ComNumber property of the TSioComPort has not been set"},
        {-2012, Check<ENotOpenedByTapi, EOpenComm>, typeid(ENotOpenedByTapi),
         "Comport was not opened by Tapi"},
        {-3001, Check<ENullApi, ESerialIO>, typeid(ENullApi), "No device layer specified"},
        {-3004, Check<EPutBlockFail, ESerialIO>, typeid(EPutBlockFail),
         "Failed to put entire block"},
        {-3006, Check<EOutputBufferTooSmall, ESerialIO>, typeid(EOutputBufferTooSmall),
         "Output buffer too small for block"},
        {-3007, Check<EBufferIsEmpty, ESerialIO>, typeid(EBufferIsEmpty), "Buffer is empty"},
        {-3010, Check<EBaseAddressNotSet, ESerialIO>, typeid(EBaseAddressNotSet),
         "Base address not set"},
        {-4008, Check<EModemStatusMismatch, EModem>, typeid(EModemStatusMismatch), nullptr},
        {-5001, Check<ENoMoreTriggers, ETrigger>, typeid(ENoMoreTriggers), "No more trigger slots"},
        {-5002, Check<ETriggerTooLong, ETrigger>, typeid(ETriggerTooLong), "Data trigger too long"},
        {-5003, Check<EBadTriggerHandle, ETrigger>, typeid(EBadTriggerHandle),
         "Bad trigger handle"},
        {-6006, Check<EProtocol>, typeid(EProtocol), nullptr},
        {-6008, Check<EProtocol>, typeid(EProtocol), nullptr},
        {-6009, Check<EProtocol>, typeid(EProtocol), nullptr},
        // EInternal belongs to the general family, also for the codes of the INI range.
        {-1006, Check<EInternal, EGeneral>, typeid(EInternal), nullptr},
        {-7003, Check<EInternal, EGeneral>, typeid(EInternal), nullptr},
        {-7012, Check<EInternal, EGeneral>, typeid(EInternal), nullptr},
        {-7004, Check<EIniWrite, EINI>, typeid(EIniWrite), nullptr},
        {-7014, Check<EBadFieldForIndex, EINI>, typeid(EBadFieldForIndex), nullptr},
        {-8001, Check<EFaxBadFormat, EFax>, typeid(EFaxBadFormat), nullptr},
        {-8070, Check<EFaxPageError, EFax>, typeid(EFaxPageError), nullptr},
        // The telephony run skips -13804 and -13849; the classes on either side of each gap.
        {-13801, Check<ETapiAllocated, ETapi>, typeid(ETapiAllocated), nullptr},
        {-13803, Check<ETapiBearerModeUnavail, ETapi>, typeid(ETapiBearerModeUnavail), nullptr},
        {-13805, Check<ETapiCallUnavail, ETapi>, typeid(ETapiCallUnavail), nullptr},
        {-13848, Check<ETapiInvalMessageID, ETapi>, typeid(ETapiInvalMessageID), nullptr},
        {-13850, Check<ETapiInvalParam, ETapi>, typeid(ETapiInvalParam), nullptr},
        {-13868, Check<ETapiNoMem, ETapi>, typeid(ETapiNoMem), "No memory"},
        {-13886, Check<ETapiNoMultipleInstance, ETapi>, typeid(ETapiNoMultipleInstance), nullptr},
        {-13928, Check<ETapiBusy, ETapi>, typeid(ETapiBusy), nullptr},
        {-13942, Check<ETapiTranslateFail, ETapi>, typeid(ETapiTranslateFail), nullptr},
        {-13980, Check<ERasLoadFail, ERas>, typeid(ERasLoadFail), nullptr},
    };
    for (const ClassCase& c : cases) {
        SCOPED_TRACE("code " + std::to_string(c.code));
        Raised r = c.check(c.code);
        ASSERT_TRUE(r.sio);
        EXPECT_TRUE(r.isA());
        EXPECT_EQ(*r.type, c.exact) << r.type->name();
        EXPECT_EQ(r.errorCode, c.code);
        EXPECT_EQ(r.message, ErrorMessageText(c.code));
        if (c.message) {
            EXPECT_EQ(r.message, c.message);
        }
        EXPECT_FALSE(r.message.empty());
    }
}

TEST(CheckResultCode, EveryCodeOfTheTableOutsideTheGeneralRangeIsMappedToAClass) {
    // A record without a class would end as "Serial I/O exception" with ErrorCode 0 and lose the
    // code. The packet's own codes are raised by the packet and are the only exception.
    for (const SioMessageNumberLookupRecord& rec : ErrorMessageTable) {
        const int32_t code = rec.MessageNumber;
        if (code >= -162 || (code <= -5501 && code >= -5505)) continue;
        SCOPED_TRACE("code " + std::to_string(code));
        Raised r = Check<ESioException>(code);
        ASSERT_TRUE(r.sio);
        EXPECT_NE(*r.type, typeid(ESioException));
        EXPECT_EQ(r.errorCode, code);
        EXPECT_EQ(r.message, rec.MessageString);
    }
}

TEST(CheckResultCode, GeneralInputOutputCodesRaiseTheRuntimeErrorWithTheirNumber) {
    const struct {
        int32_t code;
        std::string message;
    } cases[] = {
        {-2, "File not found"},
        {-5, "File access denied"},
        {-100, "Attempt to read beyond end of file"},
        {-160, "Device write error"},
        {-161, "Device read error"},
        {-162, "General failure"},
        {-31, SystemErrorMessage(31)},  // no record: the system's text
        {-87, SystemErrorMessage(87)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("code " + std::to_string(c.code));
        Raised r = Check<>(c.code);
        ASSERT_TRUE(r.inOut);
        EXPECT_EQ(r.errorCode, -c.code);
        EXPECT_EQ(r.message, c.message);
        EXPECT_FALSE(r.message.empty());
    }
}

TEST(CheckResultCode, MinusEightRaisesOutOfMemory) {
    EXPECT_THROW(CheckResultCode(nullptr, -8), EOutOfMemory);
    EXPECT_THROW(CheckResultCode(nullptr, -8), std::bad_alloc);
}

TEST(CheckResultCode, OtherNegativeCodesRaiseTheBaseClassWithoutTheirCode) {
    for (int32_t code :
         {-1, -163, -999, -1001, -1010, -1167, -2002 - 11, -3002, -5004, -5501, -5505, -6007, -7009,
          -8006, -13804, -13849, -13887, -65536 - 1002, std::numeric_limits<int32_t>::min()}) {
        SCOPED_TRACE("code " + std::to_string(code));
        Raised r = Check<ESioException>(code);
        ASSERT_TRUE(r.sio);
        EXPECT_EQ(*r.type, typeid(ESioException));
        EXPECT_EQ(r.errorCode, 0);
        EXPECT_EQ(r.message, "Serial I/O exception");
    }
}

TEST(CheckResultCode, ALoadingSenderGetsItsCodeBack) {
    TComponent port(nullptr);
    port.BeginLoading();
    EXPECT_EQ(CheckResultCode(&port, -2008), -2008);
    EXPECT_EQ(CheckResultCode(&port, -1), -1);
    EXPECT_EQ(CheckResultCode(&port, -8), -8);
    port.Loaded();
    EXPECT_THROW(CheckResultCode(&port, -2008), EAlreadyOpen);
}

TEST(CheckResultCode, OnlyLoadingHoldsTheRaiseBack) {
    TComponent port(nullptr);
    port.SetDesigning(true);
    EXPECT_THROW(CheckResultCode(&port, -5003), EBadTriggerHandle);
}

TEST(ESioException, CreateKeepsTheSignAndTakesTheMessageOfTheMagnitude) {
    ESioException negative(-2001, false);
    ESioException positive(2001, true);
    EXPECT_EQ(negative.ErrorCode(), -2001);
    EXPECT_EQ(positive.ErrorCode(), 2001);
    EXPECT_STREQ(negative.what(), positive.what());
    EXPECT_STREQ(negative.what(), "ie_BadId - Specified comport doesn't exist");

    EAlreadyOpen specific(-2008);
    EXPECT_EQ(specific.ErrorCode(), -2008);
    EXPECT_STREQ(specific.what(), "ie_Open - device already open");
    specific.SetErrorCode(7);
    EXPECT_EQ(specific.ErrorCode(), 7);
}

TEST(ESioException, CreateUnknownCarriesTheMessageAndNoCode) {
    ESioException e = ESioException::CreateUnknown("something odd", 9);
    EXPECT_EQ(e.ErrorCode(), 0);
    EXPECT_STREQ(e.what(), "something odd");
}

TEST(ESioException, MapCodeToStringIDIsTheMagnitude) {
    EXPECT_EQ(ESioException::MapCodeToStringID(-5003), 5003);
    EXPECT_EQ(ESioException::MapCodeToStringID(5003), 5003);
    EXPECT_EQ(ESioException::MapCodeToStringID(0), 0);
    EXPECT_EQ(ESioException::MapCodeToStringID(std::numeric_limits<int32_t>::min()),
              std::numeric_limits<int32_t>::max());
}

}  // namespace
