// The in-memory serial services: opens that succeed or fail, lines delivered one by one, the
// time-out, and what was sent.
#include "app/serial_services_double.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class SerialDoubleTest : public ::testing::Test {
  protected:
    SerialDoubleTest() {
        serial.packet->SetEndCond({TPacketEndCond::ecString});
        serial.packet->SetEndString("\r\n");
        serial.packet->SetOnStringPacket(
            [this](DataPacketService*, const std::string& data) { lines.push_back(data); });
        serial.packet->SetOnTimeout([this](DataPacketService*) { ++timeouts; });
    }
    SerialServicesDouble serial;
    std::vector<std::string> lines;
    int timeouts = 0;
};

TEST_F(SerialDoubleTest, ProbeCountsPortsInUseOnlyWhenAsked) {
    serial.ports->AddPort(1);
    serial.ports->AddPort(2);
    serial.ports->SetPortInUse(2, true);
    EXPECT_TRUE(serial.ports->CountPortsInUse());
    EXPECT_FALSE(serial.ports->ProbePort(0));
    EXPECT_TRUE(serial.ports->ProbePort(1));
    EXPECT_TRUE(serial.ports->ProbePort(2));
    EXPECT_FALSE(serial.ports->ProbePort(3));
    serial.ports->SetCountPortsInUse(false);
    EXPECT_TRUE(serial.ports->ProbePort(1));
    EXPECT_FALSE(serial.ports->ProbePort(2));
    EXPECT_EQ(serial.ports->MakeComName(12), L"COM12");
}

TEST_F(SerialDoubleTest, OpenFailsForMissingBusyOrRefusedPorts) {
    serial.ports->AddPort(1);
    serial.ports->AddPort(2);
    serial.ports->SetPortInUse(2, true);
    const std::pair<uint16_t, std::wstring> failures[] = {
        {2, L"COM2 is in use by another program."},
        {3, L"COM3 does not exist on this computer."},
        {0, L"No port was chosen."},
    };
    for (const auto& [n, reason] : failures) {
        serial.port->SetComNumber(n);
        try {
            serial.port->SetOpen(true);
            ADD_FAILURE() << n << " opened";
        } catch (const PortOpenError& e) {
            EXPECT_EQ(e.Reason(), reason) << n;
        }
        EXPECT_FALSE(serial.port->Open());
    }
    serial.port->SetComNumber(1);
    serial.port->FailNextOpen("refused");
    EXPECT_THROW(serial.port->SetOpen(true), PortOpenError);
    serial.port->SetOpen(true);
    EXPECT_TRUE(serial.port->Open());
}

TEST_F(SerialDoubleTest, LinesOfOneBurstArriveOneByOneWhileEnabled) {
    serial.ports->AddPort(1);
    serial.port->SetComNumber(1);
    serial.packet->Receive("READ\r\n");  // closed port, disabled packet: dropped
    serial.port->SetOpen(true);
    serial.packet->SetEnabled(true);
    serial.packet->Receive("READ\r\nCPU\r\nBT");
    serial.packet->Receive("RV X010\r\n");
    EXPECT_EQ(lines, (std::vector<std::string>{"READ\r\n", "CPU\r\n", "BTRV X010\r\n"}));
}

TEST_F(SerialDoubleTest, TimeOutDropsThePartialLineAndDisables) {
    serial.ports->AddPort(1);
    serial.port->SetComNumber(1);
    serial.port->SetOpen(true);
    serial.packet->SetEnabled(true);
    serial.packet->Receive("REA");
    serial.packet->ExpireTimeOut();
    EXPECT_EQ(timeouts, 1);
    EXPECT_FALSE(serial.packet->Enabled());
    serial.packet->Receive("D\r\nCPU\r\n");
    EXPECT_TRUE(lines.empty());
    serial.packet->SetEnabled(true);
    serial.packet->Receive("CPU\r\n");
    EXPECT_EQ(lines, std::vector<std::string>{"CPU\r\n"});
}

TEST_F(SerialDoubleTest, PutStringRecordsOrRaises) {
    EXPECT_THROW(serial.port->PutString("x"), SerialDoubleError);  // not open
    serial.ports->AddPort(1);
    serial.port->SetComNumber(1);
    serial.port->SetOpen(true);
    serial.port->PutString("OK\r\n");
    serial.port->PutString("");
    EXPECT_THROW(serial.port->PutString(std::string(4097, 'x')), SerialDoubleError);
    EXPECT_EQ(serial.port->Sent(), std::vector<std::string>{"OK\r\n"});
}

}  // namespace
