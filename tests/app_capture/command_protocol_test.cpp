// The command protocol: the reply to every kind of line, READ's packing and its previous words,
// and the arguments of BTRV and DEVN with the action run before "OK".
#include "app/command_protocol.h"

#include <gtest/gtest.h>

#include "app/serial_services_double.h"
#include "tests/app_capture/monitor_scene.h"

namespace {

using Field = BridgeView::Field;

struct ProtocolFixture : ::testing::Test {
    SerialServicesDouble serial;
    FakeView view;
    std::array<int8_t, kBitCount> BitStates{};
    std::wstring sampledDevice = L"X000";
    std::array<uint16_t, kWordCount> CurWords{};
    std::array<uint16_t, kWordCount> PrevWords{};
    std::vector<std::string> log;  // actions and replies, in order
    CommandContext context{view,
                           BitStates,
                           sampledDevice,
                           CurWords,
                           PrevWords,
                           [this](const std::string& line) { serial.port->PutString(line); },
                           [this] { log.push_back("toggle " + Narrow(Field::ToggleTarget)); },
                           [this] { log.push_back("first " + Narrow(Field::RequestedFirst)); }};

    ProtocolFixture() {
        serial.ports->AddPort(1);
        serial.port->SetComNumber(1);
        serial.port->SetOpen(true);
    }
    std::string Narrow(Field f) { return std::string(view.texts[f].begin(), view.texts[f].end()); }
    // The replies sent for one packet, with the actions it ran before them.
    std::vector<std::string> Send(const std::string& line) {
        log.clear();
        size_t before = serial.port->Sent().size();
        HandleCommandPacket(context, line);
        const auto& sent = serial.port->Sent();
        for (size_t i = before; i < sent.size(); ++i) log.push_back(sent[i]);
        return log;
    }
};

std::string Zeros(int words) { return std::string(4 * static_cast<size_t>(words), '0'); }

TEST_F(ProtocolFixture, EveryLineGetsTheReplyOfTheFirstCommandThatApplies) {
    struct Case {
        std::string line;
        bool fx;
        std::vector<std::string> result;
    };
    const std::string read = "QRX000  " + Zeros(20) + "\r\n";
    const Case cases[] = {
        {"CPU\r\n", false, {"QL\r\n"}},
        {"CPU\r\n", true, {"FX\r\n"}},
        {"  READ \r\n", false, {read}},
        {"READ\x01\x1f\r\n", false, {read}},
        {"READ", false, {read}},
        {"read\r\n", false, {"??\r\n"}},
        {"CPU1\r\n", false, {"??\r\n"}},
        {"READ X\r\n", false, {"??\r\n"}},
        {"\r\n", false, {"??\r\n"}},
        {"", false, {"??\r\n"}},
        {"BTRVX010\r\n", false, {"toggle 010", "OK\r\n"}},
        {"BTRV X010\r\n", true, {"toggle X010", "OK\r\n"}},
        {"BTRV\r\n", false, {"toggle ", "OK\r\n"}},
        {"BTRV \r\n", false, {"toggle ", "OK\r\n"}},
        {"BTRVXY\r\n", false, {"toggle Y", "OK\r\n"}},
        {"DEVN\r\n", false, {"first ", "OK\r\n"}},
        {"DEVN Y100\r\n", false, {"first Y100", "OK\r\n"}},
        {" DEVN X0 1 \r\n", false, {"first X0 1", "OK\r\n"}},
        {"btrv X010\r\n", false, {"??\r\n"}},
        {"\xff\xfe\r\n", false, {"??\r\n"}},
    };
    for (const Case& c : cases) {
        view.fx = c.fx;
        view.texts[Field::ToggleTarget] = view.texts[Field::RequestedFirst] = L"unchanged";
        EXPECT_EQ(Send(c.line), c.result) << "line \"" << c.line << "\"";
    }
}

TEST_F(ProtocolFixture, ReadPacksOnBitsAndCarriesThePreviousWords) {
    view.fx = true;
    BitStates[0] = 1;
    BitStates[7] = 1;
    BitStates[3] = -1;  // undecided packs as 0, like OFF
    BitStates[9 * 16 + 15] = 1;
    const std::string words = "0081" + Zeros(8) + "8000";
    EXPECT_EQ(Send("READ\r\n"), std::vector<std::string>{"FXX000  " + words + Zeros(10) + "\r\n"});
    EXPECT_EQ(Send("READ\r\n"), std::vector<std::string>{"FXX000  " + words + words + "\r\n"});
    EXPECT_EQ(PrevWords[0], 0x81);
    EXPECT_EQ(CurWords[9], 0x8000);

    BitStates = {};
    BitStates[16 + 4] = 1;
    view.fx = false;
    const std::string next =
        "0000"
        "0010" +
        Zeros(8);
    EXPECT_EQ(Send("READ\r\n"), std::vector<std::string>{"QRX000  " + next + words + "\r\n"});
    EXPECT_EQ(Send("READ\r\n")[0].size(), 90u);
}

// The device field names the device the states were sampled from, whatever the first-device
// field shows now.
TEST_F(ProtocolFixture, ReadDeviceFieldIsSixCharactersCutOrPadded) {
    struct Case {
        std::wstring sampled;
        std::string field;
    };
    const Case cases[] = {{L"X0123456", "X01234"}, {L"", "      "}, {L"Y1F", "Y1F   "}};
    view.texts[Field::FirstDevice] = L"Y100";
    for (const Case& c : cases) {
        sampledDevice = c.sampled;
        EXPECT_EQ(Send("READ\r\n"), std::vector<std::string>{"QR" + c.field + Zeros(20) + "\r\n"});
    }
}

}  // namespace
