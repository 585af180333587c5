// The update window against a local update service: the steps and
// messages for each reply, a download cut short, and the installation of
// signed archives (and the refusal of everything else) into a program
// folder of its own.

#include "update/ui/HistoryWindow.h"
#include "update/ui/UpdateWindow.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLocale>
#include <QTextBrowser>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <set>

#include "support/Renders.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "support/TestHttpServer.h"
#include "support/UpdateFixtures.h"
#include "update/UpdateService.h"

namespace zt {
namespace {

namespace fs = std::filesystem;
using test::HttpReply;
using test::TestHttpServer;

bool RunUntil(const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

constexpr const char* kArchiveName = "a2012.06.01.3.zip";

class UpdateWindowTest : public ::testing::Test {
protected:
    UpdateWindowTest() {
        fs::create_directories(program_.dir() + "lang");
        test::WriteFileBytes(program_.dir() + "ZeltaTresona", "old build");
        fs::permissions(program_.dir() + "ZeltaTresona", fs::perms(0755));
        server_.SetRouter([this](const std::string& head) { return Answer(head); });
    }

    // The service: the probe, the version query, the archive, its signature
    // and the report, by path.
    TestHttpServer::Script Answer(const std::string& head) {
        const std::string line = head.substr(0, head.find("\r\n"));
        auto ok = [](const std::string& body, const std::string& headers = "") {
            return TestHttpServer::Script{TestHttpServer::Send(HttpReply("200 OK", headers, body))};
        };
        const std::string archivePath = std::string("/adm/atualiza/ZELTATRESONA/") + kArchiveName;
        if (line.rfind("GET / ", 0) == 0) return probe_;
        if (line.find("/adm/versao.asp?") != std::string::npos)
            return ok("<html><body>" + reply_ + "</body></html>");
        if (line.rfind("GET " + archivePath + ".minisig ", 0) == 0) {
            if (signature_.empty())
                return {TestHttpServer::Send(HttpReply("404 Not Found", "", "no signature"))};
            return ok(signature_);
        }
        if (line.rfind("GET " + archivePath + " ", 0) == 0) {
            if (!archiveScript_.empty()) return archiveScript_;
            return ok(archive_);
        }
        return ok("");
    }

    std::unique_ptr<TFrmAtualizacaoSemBanco> Open(const std::string& key) {
        UpdateProcedure::Options options;
        options.programFolder = program_.dir();
        options.baseUrl = server_.Url("/");
        options.publicKey = key;
        options.runningExecutable = running_;
        auto window = std::make_unique<TFrmAtualizacaoSemBanco>(std::move(options));
        UpdateProcedure& p = window->Procedure();
        p.FProduct = kUpdateProduct;
        p.FAlias = kUpdateAlias;
        p.FGuid = "guid-1";
        p.FVersion = "2012.01.00.0";
        return window;
    }

    // Runs the procedure from the button until nothing more is going on.
    void Run(TFrmAtualizacaoSemBanco& window) {
        window.ConnectButtonClick();
        ASSERT_TRUE(RunUntil([&] { return !window.Procedure().Running(); }));
    }

    std::vector<std::string> Messages() const {
        std::vector<std::string> texts;
        for (const auto& shown : dialogs_.shown) texts.push_back(shown.text);
        return texts;
    }

    std::vector<TStepImage> Steps(const TFrmAtualizacaoSemBanco& window) const {
        std::vector<TStepImage> images;
        for (int i = 0; i < kUpdateStepCount; ++i) images.push_back(window.StepImage(i));
        return images;
    }

    // The archive of a release, signed by `keys` when given.
    void Release(const std::vector<test::ZipEntry>& entries, const test::MinisignKeys* keys) {
        const std::string path = work_.file(kArchiveName);
        test::WriteZip(path, entries);
        archive_ = test::ReadFileBytes(path);
        signature_ = keys ? keys->Sign(path) : "";
    }

    std::set<std::string> ProgramTree() const { return test::FolderTree(program_.dir()); }

    test::TempDir program_;
    test::TempDir work_;
    test::ScriptedDialogs dialogs_;
    TestHttpServer server_;
    TestHttpServer::Script probe_{TestHttpServer::Send(HttpReply("200 OK", "", "service"))};
    std::string reply_ = kArchiveName;
    std::string archive_;
    std::string signature_;
    TestHttpServer::Script archiveScript_;
    std::string running_;
};

const std::vector<test::ZipEntry> kNewBuild = {
    {"ZeltaTresona", "new build", 0100644},
    {"lang/x.txt", "texto", 0100644},
    {"inner.ZIP", "not installed", 0100644},
};

TEST_F(UpdateWindowTest, RepliesThatOfferNothingShowTheirMessageAndTheirSteps) {
    const TStepImage P = siPending, D = siDone, F = siFailed;
    struct Case {
        const char* reply;
        bool serviceCloses;  // the probe's answer ends its connection
        std::vector<std::string> messages;
        std::vector<TStepImage> steps;
    };
    const Case cases[] = {
        {"Nada", false, {"Não há atualizações disponíveis"}, {P, P, P, P, P, P}},
        {"ERRO", false, {"Não foi possível baixar o arquivo de atualização"}, {D, F, F, F, F, F}},
        {"sempermissao", false, {"Cliente sem permissão para atualizações"}, {D, F, F, F, F, F}},
        {"NADA",
         true,
         {"Não há conexão com a internet", "Não há atualizações disponíveis"},
         {P, P, P, P, P, P}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        dialogs_.shown.clear();
        reply_ = c.reply;
        probe_ = {TestHttpServer::Send(
            HttpReply("200 OK", c.serviceCloses ? "Connection: close\r\n" : "", "service"))};
        auto window = Open("");
        Run(*window);
        EXPECT_EQ(Messages(), c.messages);
        EXPECT_EQ(Steps(*window), c.steps);
        EXPECT_TRUE(window->ConnectEnabled());
        EXPECT_TRUE(window->Procedure().FNewVersion.empty());
    }
    // The version query as the service expects it.
    const std::vector<std::string> requests = server_.Requests();
    EXPECT_NE(std::find(requests.begin(), requests.end(),
                        "GET /adm/versao.asp?versao=2012.01.00.0&produto=ZELTATRESONA&alias=ZTRS"
                        "&guid=guid-1 HTTP/1.1"),
              requests.end());
}

TEST_F(UpdateWindowTest, AServiceThatCannotBeReachedFailsEveryStep) {
    // A port nobody listens on.
    int port;
    {
        TestHttpServer closed;
        port = closed.Port();
    }
    UpdateProcedure::Options options;
    options.programFolder = program_.dir();
    options.baseUrl = "http://127.0.0.1:" + std::to_string(port) + "/";
    TFrmAtualizacaoSemBanco window(options);
    window.ConnectButtonClick();
    ASSERT_TRUE(RunUntil([&] { return !window.Procedure().Running(); }));
    EXPECT_EQ(Messages(), (std::vector<std::string>{"Erro, não foi possível efetuar a atualização",
                                                    "Não há conexão com a internet"}));
    EXPECT_EQ(Steps(window), std::vector<TStepImage>(6, siFailed));
    EXPECT_TRUE(window.ConnectEnabled());
    window.show();
    test::SaveRender(window.grab().toImage(), "update_window_failed");
}

TEST_F(UpdateWindowTest, ASignedArchiveIsInstalledWithBackupsAndTheFolderEmptied) {
    test::MinisignKeys maker(work_.dir(), "maker");
    Release(kNewBuild, &maker);
    // Leftovers of an earlier run are gone before anything starts.
    fs::create_directories(program_.dir() + "atualizacoes/old");
    test::WriteFileBytes(program_.dir() + "atualizacoes/old/left.txt", "x");

    auto window = Open(maker.PublicKey());
    window->show();
    Run(*window);

    EXPECT_EQ(Messages(),
              (std::vector<std::string>{"Atualização concluída com sucesso.\r\rReinicie "
                                        "o sistema para que as atualizações tenham "
                                        "efeito."}));
    EXPECT_EQ(window->Procedure().FNewVersion, "2012.06.01.3");
    EXPECT_EQ(Steps(*window), std::vector<TStepImage>(6, siDone));
    EXPECT_FALSE(window->isVisible()) << "the window closes itself";
    EXPECT_EQ(window->StatusText().toStdString(), "Concluído");

    EXPECT_EQ(test::ReadFileBytes(program_.dir() + "ZeltaTresona"), "new build");
    EXPECT_EQ(test::ReadFileBytes(program_.dir() + "ZeltaTresona-old"), "old build");
    struct stat st {};
    ASSERT_EQ(::stat((program_.dir() + "ZeltaTresona").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u) << "the new program keeps the old one's mode";
    EXPECT_EQ(test::ReadFileBytes(program_.dir() + "lang/x.txt"), "texto");
    EXPECT_EQ(ProgramTree(), (std::set<std::string>{"ZeltaTresona", "ZeltaTresona-old", "lang",
                                                    "lang/x.txt", "atualizacoes"}));
    // The service hears which version was updated; nobody waits for it.
    EXPECT_TRUE(RunUntil([&] {
        const auto r = server_.Requests();
        return std::find(r.begin(), r.end(),
                         "GET /adm/versao_atualiza_cliente.asp?versao=2012.01.00.0&produto="
                         "ZELTATRESONA&guid=guid-1 HTTP/1.1") != r.end();
    }));
}

TEST_F(UpdateWindowTest, ASecondUpdateInOneRunKeepsTheRunningProgramAndUsesTheOtherBackup) {
    test::MinisignKeys maker(work_.dir(), "maker");
    Release(kNewBuild, &maker);
    running_ = program_.dir() + "ZeltaTresona";
    Run(*Open(maker.PublicKey()));
    ASSERT_EQ(test::ReadFileBytes(program_.dir() + "ZeltaTresona-old"), "old build");

    // The program now runs from the file that became "-old".
    running_ = program_.dir() + "ZeltaTresona-old";
    Release({{"ZeltaTresona", "newer build", 0100644}}, &maker);
    dialogs_.shown.clear();
    auto second = Open(maker.PublicKey());
    Run(*second);
    EXPECT_EQ(second->Procedure().FNewVersion, "2012.06.01.3");
    EXPECT_EQ(test::ReadFileBytes(program_.dir() + "ZeltaTresona"), "newer build");
    EXPECT_EQ(test::ReadFileBytes(program_.dir() + "ZeltaTresona-old"), "old build");
    EXPECT_EQ(test::ReadFileBytes(program_.dir() + "ZeltaTresona-old1"), "new build");
}

TEST_F(UpdateWindowTest, ArchivesThatAreNotTheMakersOrLeaveTheFolderInstallNothing) {
    test::MinisignKeys maker(work_.dir(), "maker");
    test::MinisignKeys stranger(work_.dir(), "stranger");
    const std::string notSigned =
        "Não foi possível efetuar a atualização\r\rA atualização não está assinada pelo fabricante";
    const std::string refused =
        "Não foi possível efetuar a atualização\r\rErro ao descompactar o arquivo de atualização";
    struct Case {
        const char* name;
        std::vector<test::ZipEntry> entries;
        const test::MinisignKeys* signer;
        std::string key;  // the program's
        std::string message;
    };
    const Case cases[] = {
        {"unsigned", kNewBuild, nullptr, maker.PublicKey(), notSigned},
        {"signed by another key", kNewBuild, &stranger, maker.PublicKey(), notSigned},
        {"no key in the program", kNewBuild, &maker, "", notSigned},
        {"leaves the folder", {{"../x", "outside", 0100644}}, &maker, maker.PublicKey(), refused},
        {"absolute path",
         {{"/tmp/zt-update-abs-x", "outside", 0100644}},
         &maker,
         maker.PublicKey(),
         refused},
        {"symbolic link",
         {{"ZeltaTresona", "/bin/sh", 0120777}},
         &maker,
         maker.PublicKey(),
         refused},
    };
    const std::set<std::string> before = ProgramTree();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs_.shown.clear();
        Release(c.entries, c.signer);
        auto window = Open(c.key);
        Run(*window);
        EXPECT_EQ(Messages(), std::vector<std::string>{c.message});
        EXPECT_EQ(Steps(*window),
                  (std::vector<TStepImage>{siDone, siDone, siDone, siFailed, siFailed, siFailed}));
        EXPECT_TRUE(window->Procedure().FNewVersion.empty());
        std::set<std::string> expected = before;
        expected.insert("atualizacoes");
        EXPECT_EQ(ProgramTree(), expected) << "the update folder is emptied, nothing else moves";
        EXPECT_EQ(test::ReadFileBytes(program_.dir() + "ZeltaTresona"), "old build");
        EXPECT_FALSE(fs::exists(program_.dir() + "../x"));
        EXPECT_FALSE(fs::exists("/tmp/zt-update-abs-x"));
    }
}

TEST_F(UpdateWindowTest, DownloadsThatEndEarlyOrFailLeaveTheWindowReady) {
    test::MinisignKeys maker(work_.dir(), "maker");
    Release(kNewBuild, &maker);
    struct Case {
        const char* name;
        TestHttpServer::Script archive;
        std::vector<test::ShownDialog> shown;
    };
    const Case cases[] = {
        // Closed in the middle of a chunk: nothing installed, nothing said.
        {"closed gracefully",
         {TestHttpServer::Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                               "400\r\nPK"),
          TestHttpServer::Close()},
         {}},
        {"not found",
         {TestHttpServer::Send(HttpReply("404 Not Found", "", "gone"))},
         {{DialogKind::Error, "HTTP/1.1 404 Not Found"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs_.shown.clear();
        archiveScript_ = c.archive;
        auto window = Open(maker.PublicKey());
        Run(*window);
        EXPECT_EQ(dialogs_.shown, c.shown);
        EXPECT_EQ(window->StepImage(2), siCurrent);
        EXPECT_TRUE(window->ConnectEnabled());
        EXPECT_EQ(test::ReadFileBytes(program_.dir() + "ZeltaTresona"), "old build");
        EXPECT_FALSE(fs::exists(program_.dir() + "ZeltaTresona-old"));
    }
}

TEST_F(UpdateWindowTest, TheReadOutFollowsTheTransferAndEndsCleared) {
    // A body sent in two pieces with a pause: the read-out shows the rate
    // and sizes while it runs, then "Transferência completa".
    std::string body(1536, 'x');
    archiveScript_ = {TestHttpServer::Send("HTTP/1.1 200 OK\r\nContent-Length: 1536\r\n\r\n" +
                                           body.substr(0, 512)),
                      TestHttpServer::Pause(300), TestHttpServer::Send(body.substr(512))};
    auto window = Open("");
    std::set<std::string> sizes, statuses;
    QTimer sample;
    QObject::connect(&sample, &QTimer::timeout, [&] {
        sizes.insert(window->SizeText().toStdString() + " | " +
                     window->ReceivedText().toStdString() + " | " +
                     window->RemainingText().toStdString());
        statuses.insert(window->StatusText().toStdString());
    });
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    sample.start(5);
    Run(*window);
    QLocale::setDefault(QLocale::system());
    EXPECT_TRUE(sizes.count("0,001.50 KB | 0,000.50 KB | 0,001.00 KB"))
        << ::testing::PrintToString(sizes);
    EXPECT_TRUE(std::any_of(statuses.begin(), statuses.end(), [](const std::string& s) {
        return s.rfind("Taxa de Transferência ", 0) == 0 && s.find(" KB/s") != std::string::npos;
    })) << ::testing::PrintToString(statuses);
}

TEST_F(UpdateWindowTest, TheHistoryShowsTheMakersPageAndEscClosesItFromThePage) {
    server_.SetRouter([](const std::string& head) {
        const bool history =
            head.rfind("GET /historico_atualizacoes.asp?Produto=ZELTATRESONA&Versao=2012.01.00.0 ",
                       0) == 0;
        return TestHttpServer::Script{TestHttpServer::Send(HttpReply(
            "200 OK", "", history ? "<html><body><h1>Versão 2012.06</h1></body></html>" : "?"))};
    });
    TFrmHistoricoAtualizacoesSemBanco history(server_.Url("/"));
    history.FProduto = kUpdateProduct;
    history.FVersao = "2012.01.00.0";
    history.show();
    ASSERT_TRUE(RunUntil([&] { return history.Loaded(); }));
    EXPECT_EQ(history.Browser()->toPlainText().toStdString(), "Versão 2012.06");
    EXPECT_EQ(history.Browser()->contextMenuPolicy(), Qt::NoContextMenu);

    history.Browser()->setFocus();
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(history.Browser(), &esc);
    EXPECT_FALSE(history.isVisible());
}

}  // namespace
}  // namespace zt
