// The detach workflow through the window's real handlers: the open dialog, the naming
// rule, and the detach through Wine's odbc32, unixODBC, FreeTDS and TCP to a stand-in
// SQL Server (login encrypted, as SQL Server's default; code pages 1252 and 936; forced
// encryption), with the message boxes answered as an operator would.
#include <objbase.h>

#include <gtest/gtest.h>

#include "app/detach_rules.h"
#include "app/main_window.h"
#include "base/text.h"
#include "db/connection.h"
#include "win32/window_class.h"
#include "tests/win/common/test_form.h"
#include "tests/win/form/modal_driver.h"
#include "tests/win/support/sample_folder.h"
#include "tests/win/support/standin_control.h"
#include "tests/win/support/win_owners.h"

namespace dorvane::test {
namespace {

using testing_support::Pump;

constexpr auto& kTextOf = win32::WindowText;

struct Snapshot {
    std::wstring Text1, Text2, Text3, m, l, strdata;
    bool operator==(const Snapshot&) const = default;
};

class WorkflowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        MakeSampleDatabase(data_.Path(), L"db_ZVQ");
        MakeSampleDatabase(data_.Path(), L"O'Brien");
        server_ = std::make_unique<StandinServer>(StandinServer::Start({L"--data", ToUnixPath(data_.Path())}));
        form_ = app::Form1::Create(::GetModuleHandleW(nullptr), app::Form1::LoadDesign(::GetModuleHandleW(nullptr)),
                                   SW_SHOW);
        Pump(std::chrono::milliseconds(50));
        SetServer(L"127.0.0.1," + std::to_wstring(server_->Port()));
    }
    void TearDown() override {
        form_.reset();
        server_.reset();
        Pump(std::chrono::milliseconds(10));
        ::CoUninitialize();
    }

    void SetServer(const std::wstring& text) { ::SetWindowTextW(form_->ChildWindow(L"Text3"), text.c_str()); }

    void Choose(const std::wstring& path) {
        OpenDialogAnswerer answer(form_->Hwnd(), path);
        form_->Command2_Click();
        ASSERT_TRUE(answer.Answered()) << "the open dialog did not appear";
    }

    MessageBoxSeen Detach() {
        MessageBoxAnswerer answer(form_->Hwnd());
        form_->Command3_Click();
        return answer.Result();
    }

    Snapshot State() const {
        return Snapshot{kTextOf(form_->ChildWindow(L"Text1")),
                        kTextOf(form_->ChildWindow(L"Text2")),
                        kTextOf(form_->ChildWindow(L"Text3")),
                        form_->GetMembers().m,
                        form_->GetMembers().l,
                        form_->GetMembers().strdata};
    }

    SampleFolder data_{L"main"};
    std::unique_ptr<StandinServer> server_;
    std::unique_ptr<app::Form1> form_;
};

TEST_F(WorkflowTest, ChoosingTheDataFileFillsBothFieldsAndKeepsTheName) {
    const std::wstring mdf = data_.File(L"db_ZVQ_Data.MDF");
    Choose(mdf);
    EXPECT_EQ(kTextOf(form_->ChildWindow(L"Text1")), mdf);
    EXPECT_EQ(kTextOf(form_->ChildWindow(L"Text2")), data_.File(L"db_ZVQ_Log.LDF"));
    EXPECT_EQ(form_->GetMembers().m, mdf);
    EXPECT_EQ(form_->GetMembers().l, data_.File(L"db_ZVQ_Log.LDF"));
    EXPECT_EQ(form_->GetMembers().strdata, L"db_ZVQ");
    // Cancelling afterwards changes nothing.
    const Snapshot before = State();
    Choose(L"");
    EXPECT_EQ(State(), before);
}

TEST_F(WorkflowTest, TheDialogStartsInTheDataSourceFolderBesideTheProgram) {
    std::wstring folder(MAX_PATH, L'\0');
    folder.resize(::GetModuleFileNameW(nullptr, folder.data(), MAX_PATH));
    folder.resize(folder.find_last_of(L'\\'));
    const std::wstring dataSource = folder + L"\\DataSource";
    ASSERT_TRUE(::CreateDirectoryW(dataSource.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);
    OpenDialogAnswerer answer(form_->Hwnd(), L"");
    form_->Command2_Click();
    ASSERT_TRUE(answer.Answered()) << "the open dialog did not appear";
    ::RemoveDirectoryW(dataSource.c_str());
    EXPECT_EQ(_wcsicmp(answer.Folder().c_str(), dataSource.c_str()), 0) << base::ToUtf8(answer.Folder());
}

TEST_F(WorkflowTest, LongPathsShowTheirEndWhereTheFileNameIs) {
    SampleFolder deep(L"a folder whose name is longer than the read-out field is wide");
    MakeSampleDatabase(deep.Path(), L"db_ZVQ");
    Choose(deep.File(L"db_ZVQ_Data.MDF"));
    for (const wchar_t* name : {L"Text1", L"Text2"}) {
        HWND field = form_->ChildWindow(name);
        EXPECT_EQ(kTextOf(field), name == std::wstring(L"Text1") ? form_->GetMembers().m : form_->GetMembers().l) << "the whole path is kept";
        const auto length = static_cast<WPARAM>(::GetWindowTextLengthW(field));
        RECT client{};
        ::GetClientRect(field, &client);
        EXPECT_GT(::SendMessageW(field, EM_GETFIRSTVISIBLELINE, 0, 0), 0) << "not scrolled to the end";
        const auto last = static_cast<short>(LOWORD(::SendMessageW(field, EM_POSFROMCHAR, length - 1, 0)));
        EXPECT_GE(last, 0);
        EXPECT_LT(last, client.right) << "the file name is cut off";
    }
}

TEST_F(WorkflowTest, DetachSucceedsThenTheSecondPressShowsTheServersError) {
    Choose(data_.File(L"db_ZVQ_Data.MDF"));
    const Snapshot before = State();
    MessageBoxSeen first = Detach();
    ASSERT_TRUE(first.Shown);
    EXPECT_EQ(first.Title, L"分离数据库");
    EXPECT_EQ(first.Text, L"分离成功！");
    EXPECT_FALSE(first.HasIcon);
    EXPECT_EQ(first.Buttons, 1);
    EXPECT_EQ(first.Owner, form_->Hwnd());
    EXPECT_EQ(State(), before) << "a detach changes no field";

    MessageBoxSeen second = Detach();
    ASSERT_TRUE(second.Shown);
    EXPECT_EQ(second.Title, L"分离数据库");
    EXPECT_NE(second.Text.find(L"The database 'db_ZVQ' does not exist"), std::wstring::npos) << second.Text;
    EXPECT_EQ(State(), before);
}

TEST_F(WorkflowTest, DetachBeforeAnyChoiceSendsTheEmptyNameAndShowsTheError) {
    MessageBoxSeen seen = Detach();
    ASSERT_TRUE(seen.Shown);
    EXPECT_NE(seen.Text.find(L"The database '' does not exist"), std::wstring::npos) << seen.Text;
    EXPECT_EQ(form_->GetMembers().strdata, L"");
}

TEST_F(WorkflowTest, UnreachableServerShowsTheConnectionErrorQuickly) {
    Choose(data_.File(L"db_ZVQ_Data.MDF"));
    SetServer(L"127.0.0.1,1");  // nothing listens there
    const Snapshot before = State();
    const auto start = std::chrono::steady_clock::now();
    MessageBoxSeen seen = Detach();
    ASSERT_TRUE(seen.Shown);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30)) << "bounded by the login timeout";
    EXPECT_NE(seen.Text.find(L"Unable to connect"), std::wstring::npos) << seen.Text;
    EXPECT_EQ(State(), before);
}

TEST_F(WorkflowTest, RefusedLoginShowsLoginFailed) {
    StandinServer guarded = StandinServer::Start({L"--data", ToUnixPath(data_.Path()), L"--account", L"sa:secret"});
    Choose(data_.File(L"db_ZVQ_Data.MDF"));
    SetServer(L"127.0.0.1," + std::to_wstring(guarded.Port()));
    const Snapshot before = State();
    MessageBoxSeen seen = Detach();
    ASSERT_TRUE(seen.Shown);
    EXPECT_NE(seen.Text.find(L"Login failed for user 'sa'."), std::wstring::npos) << seen.Text;
    EXPECT_EQ(State(), before);
}

TEST_F(WorkflowTest, DatabaseInUseIsRefusedAndStaysAttached) {
    Choose(data_.File(L"db_ZVQ_Data.MDF"));
    {
        db::Connection user;  // another session working in the database
        user.Open(L"Provider=SQLOLEDB.1;Data Source='127.0.0.1," + std::to_wstring(server_->Port()) +
                      L"';User ID=sa;Initial Catalog=db_ZVQ",
                  L"", L"");
        MessageBoxSeen seen = Detach();
        ASSERT_TRUE(seen.Shown);
        EXPECT_NE(seen.Text.find(L"because it is currently in use"), std::wstring::npos) << seen.Text;
    }
    // Once the other session has gone, the same press detaches it.
    Pump(std::chrono::milliseconds(100));
    EXPECT_EQ(Detach().Text, L"分离成功！");
}

TEST_F(WorkflowTest, SystemDatabaseIsRefused) {
    MakeSampleDatabase(data_.Path(), L"master");  // a file whose name gives "master"
    Choose(data_.File(L"master_Data.MDF"));
    ASSERT_EQ(form_->GetMembers().strdata, L"master");
    MessageBoxSeen seen = Detach();
    ASSERT_TRUE(seen.Shown);
    EXPECT_NE(seen.Text.find(L"because it is a system database"), std::wstring::npos) << seen.Text;
}

TEST_F(WorkflowTest, NamesWithQuotesDetachExactlyThatDatabase) {
    Choose(data_.File(L"O'Brien_Data.MDF"));
    ASSERT_EQ(form_->GetMembers().strdata, L"O'Brien");
    EXPECT_EQ(Detach().Text, L"分离成功！");
    // The other database is untouched; O'Brien is gone.
    Choose(data_.File(L"db_ZVQ_Data.MDF"));
    EXPECT_EQ(Detach().Text, L"分离成功！");
    // A server name with a quote is quoted too: it reaches the driver as one name (which
    // does not resolve), not as extra connection keywords.
    SetServer(L"no'such;host");
    MessageBoxSeen seen = Detach();
    ASSERT_TRUE(seen.Shown);
    EXPECT_NE(seen.Text, L"分离成功！");
}

TEST_F(WorkflowTest, ChineseFoldersAndShortNamesKeepTheWindowUsable) {
    SampleFolder chinese(L"数据库文件");
    MakeSampleDatabase(chinese.Path(), L"销售");
    Choose(chinese.File(L"销售_Data.MDF"));
    EXPECT_EQ(form_->GetMembers().strdata, L"销售");
    EXPECT_EQ(kTextOf(form_->ChildWindow(L"Text2")), chinese.File(L"销售_Log.LDF"));
    // A title shorter than the cut gives an empty name instead of an error.
    SampleFolder shortNames(L"s");
    const std::wstring tiny = shortNames.File(L"a.mdf");
    UniqueFile(::CreateFileW(tiny.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)).reset();  // empty
    Choose(tiny);
    EXPECT_EQ(form_->GetMembers().strdata, L"");
    EXPECT_TRUE(::IsWindow(form_->Hwnd()));
    MessageBoxSeen seen = Detach();
    EXPECT_NE(seen.Text.find(L"The database '' does not exist"), std::wstring::npos) << seen.Text;
}

// Names outside ASCII go as N'...' literals, so they reach a server of either code page
// unchanged: CJK, and a character beyond U+FFFF that no code page has.
TEST_F(WorkflowTest, UnicodeNamesDetachOnCodePage1252And936Servers) {
    const std::wstring names[] = {L"数据库甲", L"\U0001D4B3db"};
    for (const wchar_t* collation : {L"SQL_Latin1_General_CP1_CI_AS", L"Chinese_PRC_CI_AS"}) {
        SampleFolder folder(collation);
        for (const std::wstring& name : names) MakeSampleDatabase(folder.Path(), name);
        StandinServer server = StandinServer::Start({L"--data", ToUnixPath(folder.Path()), L"--collation", collation});
        SetServer(L"127.0.0.1," + std::to_wstring(server.Port()));
        for (const std::wstring& name : names) {
            Choose(folder.File(name + L"_Data.MDF"));
            ASSERT_EQ(form_->GetMembers().strdata, name);
            EXPECT_EQ(Detach().Text, L"分离成功！") << base::ToUtf8(collation) << " " << base::ToUtf8(name);
            const MessageBoxSeen again = Detach();
            EXPECT_NE(again.Text.find(L"The database '" + name + L"' does not exist"), std::wstring::npos)
                << again.Text;
        }
    }
}

// Why: without N the literal reaches a code page 1252 server as '????' and names a
// database that is not there.
TEST_F(WorkflowTest, TheStatementWithoutNFailsOnACodePage1252Server) {
    SampleFolder folder(L"without-n");
    MakeSampleDatabase(folder.Path(), L"数据库甲");
    StandinServer server = StandinServer::Start({L"--data", ToUnixPath(folder.Path())});
    db::Connection connection;
    connection.Open(app::BuildConnectionString(L"127.0.0.1," + std::to_wstring(server.Port())), L"", L"");
    try {
        connection.Execute(L"sp_detach_db '数据库甲','true'");
        ADD_FAILURE() << "the statement without N detached the database";
    } catch (const db::Error& e) {
        EXPECT_TRUE(e.HasNativeError(15010)) << e.what();
        EXPECT_NE(e.Description().find(L"The database '" + std::wstring(4, L'?') + L"' does not exist."),
                  std::wstring::npos)
            << e.what();
    }
    EXPECT_NO_THROW(connection.Execute(app::BuildDetachStatement(L"数据库甲")));
}

TEST_F(WorkflowTest, DetachSucceedsAgainstAServerThatForcesEncryption) {
    StandinServer forced = StandinServer::Start({L"--data", ToUnixPath(data_.Path()), L"--encryption", L"force"});
    Choose(data_.File(L"db_ZVQ_Data.MDF"));
    SetServer(L"127.0.0.1," + std::to_wstring(forced.Port()));
    EXPECT_EQ(Detach().Text, L"分离成功！");
    EXPECT_NE(Detach().Text.find(L"The database 'db_ZVQ' does not exist"), std::wstring::npos);
}

}  // namespace
}  // namespace dorvane::test
