// The message table (order, uniqueness, the records it must hold) and the lookup with its
// fall-back to the system's text.
#include "serial/errors/error_messages.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

namespace {

int64_t Magnitude(int32_t n) { return std::llabs(static_cast<int64_t>(n)); }

TEST(ErrorMessageTable, IsSortedAndUniqueByMagnitude) {
    ASSERT_FALSE(ErrorMessageTable.empty());
    for (size_t i = 1; i < ErrorMessageTable.size(); ++i) {
        EXPECT_LT(Magnitude(ErrorMessageTable[i - 1].MessageNumber),
                  Magnitude(ErrorMessageTable[i].MessageNumber))
            << "records " << i - 1 << " and " << i << ": " << ErrorMessageTable[i - 1].MessageNumber
            << ", " << ErrorMessageTable[i].MessageNumber;
    }
    for (const auto& r : ErrorMessageTable) EXPECT_NE(r.MessageString, nullptr);
}

TEST(ErrorMessageTable, HoldsOkAndTheGeneralInputOutputTexts) {
    const std::map<int32_t, std::string> expected = {
        {0, "OK"},
        {-2, "File not found"},
        {-3, "Path not found"},
        {-4, "Too many open files"},
        {-5, "File access denied"},
        {-6, "Invalid file handle"},
        {-8, "Insufficient memory"},
        {-15, "Invalid drive"},
        {-18, "No more files"},
        {-100, "Attempt to read beyond end of file"},
        {-101, "Disk is full"},
        {-102, "File/device not assigned"},
        {-103, "File/device not open"},
        {-104, "File/device not open for input"},
        {-105, "File/device not open for output"},
        {-150, "Disk is write-protected"},
        {-151, "Unknown disk unit"},
        {-152, "Drive is not ready"},
        {-153, "Unknown command"},
        {-154, "Data error"},
        {-155, "Bad request structure length"},
        {-156, "Seek error"},
        {-157, "Unknown media type"},
        {-158, "Disk sector not found"},
        {-159, "Printer is out of paper"},
        {-160, "Device write error"},
        {-161, "Device read error"},
        {-162, "General failure"},
        {-5501, "Start string is empty"},
        {-5502, "Packet size cannot be smaller than start string"},
        {-5503, "CharCount packets must have an end-condition"},
        {-5504, "End string is empty"},
        {-5505, "Packet size cannot be zero"},
    };
    std::map<int32_t, std::string> found;
    for (const auto& r : ErrorMessageTable)
        if (expected.count(r.MessageNumber)) found[r.MessageNumber] = r.MessageString;
    EXPECT_EQ(found, expected);
    // The general range holds no other records: the rest take the system's text.
    for (const auto& r : ErrorMessageTable) {
        if (r.MessageNumber < 0 && r.MessageNumber >= -162) {
            EXPECT_TRUE(expected.count(r.MessageNumber)) << r.MessageNumber;
        }
    }
}

TEST(ErrorMessageText, FindsTheRecordByMagnitude) {
    EXPECT_EQ(ErrorMessageText(0), "OK");
    EXPECT_EQ(ErrorMessageText(-3007), "Buffer is empty");
    EXPECT_EQ(ErrorMessageText(3007), "Buffer is empty");
    EXPECT_EQ(ErrorMessageText(-13868), "No memory");
    EXPECT_EQ(ErrorMessageText(13980), ErrorMessageText(-13980));
}

TEST(ErrorMessageText, ANumberWithoutARecordTakesTheSystemText) {
    for (int32_t code : {-31, 31, -1167, -7009, 70000}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(ErrorMessageText(code),
                  SystemErrorMessage(static_cast<uint32_t>(Magnitude(code))));
    }
}

TEST(ErrorMessageText, AMagnitudeAbove16BitsIsNotTakenForASmallerCode) {
    // 66538 = 65536 + 1002: cut to 16 bits it would read as "Bad argument passed to function".
    EXPECT_NE(ErrorMessageText(-66538), "Bad argument passed to function");
    EXPECT_EQ(ErrorMessageText(-66538), SystemErrorMessage(66538));
}

TEST(SystemErrorMessage, IsOneCleanLine) {
    for (uint32_t n : {2u, 5u, 31u, 87u, 1167u, 123456u}) {
        SCOPED_TRACE(n);
        const std::string text = SystemErrorMessage(n);
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
        EXPECT_NE(text.back(), ' ');
    }
}

#ifndef _WIN32
TEST(SystemErrorMessage, HostGivesTheWindowsTextsOfCommonNumbers) {
    EXPECT_EQ(SystemErrorMessage(31), "A device attached to the system is not functioning.");
    EXPECT_EQ(SystemErrorMessage(5), "Access is denied.");
    EXPECT_EQ(SystemErrorMessage(1167), "The device is not connected.");
    EXPECT_EQ(SystemErrorMessage(123456), "System error 123456.");
}
#endif

}  // namespace
