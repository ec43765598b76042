#include "tests/ui/command_test_support.h"

#include <stdlib.h>

#include <winsock2.h>

#include "tests/ui/modal_driver.h"

const char kInvalidUrlText[] =
    "\x8ew\x92\xe8\x82\xb3\x82\xea\x82\xbdURL\x82\xcd\x95s\x90\xb3\x82\xc5\x82\xb7\x81"
    "B";
const char kSaveFailedText[] =
    "\x8e\x9f\x82\xcc\x83\x8a\x83X\x83g\x83t\x83@\x83"
    "C\x83\x8b\x82\xf0"
    "\x95\xdb\x91\xb6\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x82\xc5"
    "\x82\xb5\x82\xbd\x81"
    "B\n";
const char kOpenFailedText[] =
    "\x8e\x9f\x82\xcc\x83\x8a\x83X\x83g\x83t\x83@\x83"
    "C\x83\x8b\x82\xf0"
    "\x8aJ\x82\xaf\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd\x81"
    "B\n";
const char kExitSaveFailedText[] =
    "\x8fI\x97\xb9\x8e\x9e\x82\xcc\x95\xdb\x91\xb6\x82\xc9\x8e\xb8\x94s\x82\xb5\x82\xdc\x82\xb5"
    "\x82\xbd\x81"
    "B\x8e\x9f\x82\xcc\x83t\x83@\x83"
    "C\x83\x8b\x82\xcd\x8dX\x90V\x82\xb3\x82\xea"
    "\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1\x81"
    "B\n";
const char kSettingsSaveFailedText[] =
    "\x8e\x9f\x82\xcc\x90\xdd\x92\xe8\x83t\x83@\x83"
    "C\x83\x8b\x82\xf0\x95\xdb\x91\xb6"
    "\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd\x81"
    "B\n";

const char kNotAListText[] =
    "\x8e\x9f\x82\xcc\x83t\x83@\x83"
    "C\x83\x8b\x82\xcd\x83\x8a\x83X\x83g\x83t\x83@\x83"
    "C\x83\x8b\x82\xc5\x82\xcd\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81"
    "B\n";

const char kListNotReadText[] =
    "\x8e\x9f\x82\xcc\x83\x8a\x83\x58\x83\x67\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xcd\x93\xc7\x82\xdd\x8d\x9e\x82\xdf"
    "\x82\xc8\x82\xa2\x8c\x60\x8e\xae\x82\xcc\x82\xbd\x82\xdf\x8a\x4a\x82\xab\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5"
    "\x82\xbd\x81\x42\x82\xb1\x82\xcc\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xcd\x95\xcf\x8d\x58\x82\xb5\x82\xdc\x82\xb9"
    "\x82\xf1\x81\x42\x0a";
const char kUrlTooLongText[] =
    "\x38\x31\x39\x32\x83\x6f\x83\x43\x83\x67\x82\xf0\x92\xb4\x82\xa6\x82\xe9\x55\x52\x4c\x82\xcd\x88\xb5\x82\xa6\x82"
    "\xdc\x82\xb9\x82\xf1\x81\x42";

void CommandTest::SetUp()
{
    HostedWindowTest::SetUp();
}

void CommandTest::TearDown()
{
    ModalDriver driver({});
    HostedWindowTest::TearDown();
    std::vector<SeenModal> seen = driver.Finish();
    for (const SeenModal& modal : seen) ADD_FAILURE() << "unexpected window at the end: " << modal.text;
}

void CommandTest::Start(bool autoStart, const std::vector<StartRecord>& records)
{
    WriteHostSettings(host_, autoStart, 2);
    if (!records.empty()) WriteStartList(host_.listPath, host_.folder, records);
    ASSERT_EQ(0, CreateHostWindow(&host_));
}

std::string CommandTest::ServerUrl(const std::string& pathAndQuery)
{
    const char* port = getenv("MW_HTTP_PORT");
    if (!port) return "";
    return "http://127.0.0.1:" + std::string(port) + "/" + pathAndQuery;
}

std::string CommandTest::RecordedRequest(const std::string& name)
{
    const char* dir = getenv("MW_SERVER_DIR_WIN");
    return dir ? ReadWholeFile(std::string(dir) + "\\requests\\" + name) : "";
}

SilentServer::SilentServer()
{
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    listen(s, 8);
    int length = sizeof(address);
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    socket = s;
    url = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/run.bin";
}

SilentServer::~SilentServer()
{
    closesocket(static_cast<SOCKET>(socket));
}

int SilentServer::ClosedConnections(DWORD timeoutMs)
{
    int closed = 0;
    DWORD start = GetTickCount();
    for (;;) {
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(static_cast<SOCKET>(socket), &ready);
        timeval none = {0, 0};
        if (select(0, &ready, nullptr, nullptr, &none) != 1) return closed;
        SOCKET peer = accept(static_cast<SOCKET>(socket), nullptr, nullptr);
        DWORD spent = GetTickCount() - start;
        DWORD wait = spent < timeoutMs ? timeoutMs - spent : 1;
        setsockopt(peer, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&wait), sizeof(wait));
        char buffer[512];
        int got;
        while ((got = recv(peer, buffer, sizeof(buffer), 0)) > 0) {}
        closed += got == 0;
        closesocket(peer);
    }
}
