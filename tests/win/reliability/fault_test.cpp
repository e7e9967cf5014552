// Failures of the server as Dorvane meets them through the real client stack: the
// connection dropped after login or during the statement, an answer later than the login
// timeout, the server killed while a connection is open. Each time the operator gets
// one message box titled "分离数据库" with the error's text, the window stays usable,
// the next detach against a healthy server succeeds, and nothing hangs.
#include <gtest/gtest.h>

#include <iostream>

#include "db/connection.h"
#include "db/error.h"
#include "tests/win/reliability/detach_press.h"

namespace dorvane::test {
namespace {

using Faults = DetachPressTest;

TEST_F(Faults, ConnectionDroppedAfterLogin) {
    StandinServer faulty = Start({L"--fault", L"drop-after-login"});
    ExpectDriverError(PressDetach(ServerText(faulty)));
    ExpectUsableAndNextDetachWorks();
}

TEST_F(Faults, ConnectionDroppedDuringExecute) {
    StandinServer faulty = Start({L"--fault", L"drop-during-execute"});
    ExpectDriverError(PressDetach(ServerText(faulty)));
    ExpectUsableAndNextDetachWorks();
}

TEST_F(Faults, AnswerLaterThanAShortConnectTimeout) {
    StandinServer slow = Start({L"--delay-ms", L"8000"});
    const std::wstring text = L"Provider=SQLOLEDB.1;Persist Security Info=False;Data Source='" + ServerText(slow) +
                              L"';User ID=sa;Initial Catalog=master;Connect Timeout=2";
    db::Connection connection;
    const ULONGLONG start = ::GetTickCount64();
    try {
        connection.Open(text, L"", L"");
        ADD_FAILURE() << "Open succeeded against a server slower than the timeout";
    } catch (const db::Error& e) {
        ExpectDriverError(e.Description());
        std::cout << "timed out after " << ::GetTickCount64() - start << " ms: " << e.what() << std::endl;
    }
    EXPECT_FALSE(connection.IsOpen());
}

TEST_F(Faults, AnswerLaterThanTheDefaultLoginTimeout) {
    // Slower than the login timeout Form1 connects with (app::kDetachLoginTimeoutSeconds) by
    // 10 s; the press ends with the timeout's text.
    StandinServer slow = Start({L"--delay-ms", std::to_wstring((app::kDetachLoginTimeoutSeconds + 10) * 1000)});
    ExpectDriverError(PressDetach(ServerText(slow)));
    slow.Kill();  // its delayed answers would only keep the test waiting
    ExpectUsableAndNextDetachWorks();
}

TEST_F(Faults, ServerKilledWhileAConnectionIsOpen) {
    StandinServer doomed = Start();
    db::Connection connection;
    connection.Open(app::BuildConnectionString(ServerText(doomed)), L"", L"");
    ASSERT_TRUE(connection.IsOpen());
    doomed.Kill();
    try {
        connection.Execute(app::BuildDetachStatement(L"db_ZVQ"));
        ADD_FAILURE() << "Execute succeeded on a connection whose server was killed";
    } catch (const db::Error& e) {
        ExpectDriverError(e.Description());
        std::cout << "after the kill: " << e.what() << std::endl;
    }
    // Releasing the broken connection returns; so does a press against the dead port.
    connection = db::Connection();
    ExpectDriverError(PressDetach(ServerText(doomed)));
    ExpectUsableAndNextDetachWorks();
}

}  // namespace
}  // namespace dorvane::test
