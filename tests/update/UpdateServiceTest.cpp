// The update service's vocabulary: the addresses as the service expects
// them, what a reply means at start-up and in the window, the version an
// archive's name stands for, and the read-outs' number formats.

#include "update/UpdateService.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "update/UpdateProcedure.h"

namespace zt {
namespace {

TEST(UpdateServiceTest, AddressesCarryTheValuesUnescapedInTheServicesOrder) {
    const std::string base = "http://h:81/";
    EXPECT_EQ(StartupVersionQueryUrl(base, "", "g 1"),
              "http://h:81/adm/versao.asp?versao=&produto=ZELTATRESONA&guid=g 1");
    EXPECT_EQ(VersionQueryUrl(base, "ZELTATRESONA", "2012.01.00.0", "ZTRS", "{G}"),
              "http://h:81/adm/versao.asp?versao=2012.01.00.0&produto=ZELTATRESONA&alias=ZTRS"
              "&guid={G}");
    EXPECT_EQ(ArchiveUrl(base, "ZELTATRESONA", "a2012.06.01.3.zip"),
              "http://h:81/adm/atualiza/ZELTATRESONA/a2012.06.01.3.zip");
    EXPECT_EQ(InstallReportUrl(base, "1.0", "ZELTATRESONA", "g"),
              "http://h:81/adm/versao_atualiza_cliente.asp?versao=1.0&produto=ZELTATRESONA&guid=g");
    EXPECT_EQ(HistoryUrl(base, "ZELTATRESONA", "1.0"),
              "http://h:81/historico_atualizacoes.asp?Produto=ZELTATRESONA&Versao=1.0");
}

TEST(UpdateServiceTest, TheEnvironmentReplacesTheBuiltInAddress) {
    ::unsetenv("ZT_UPDATE_BASE_URL");
    EXPECT_EQ(UpdateBaseUrl(), "http://updates.zeltatresona.example/");
    ::setenv("ZT_UPDATE_BASE_URL", "http://mirror.station.lan:8080/zt", 1);
    EXPECT_EQ(UpdateBaseUrl(), "http://mirror.station.lan:8080/zt/") << "a final / is added";
    ::unsetenv("ZT_UPDATE_BASE_URL");
}

TEST(UpdateServiceTest, RepliesAreTheThreeWordsInAnyCaseAndAnythingElseNamesAnArchive) {
    struct Case {
        const char* reply;
        UpdateReply meaning;
        bool askedAtStartUp;
    };
    const Case cases[] = {
        {"nada", UpdateReply::Nada, false},
        {"NADA", UpdateReply::Nada, false},
        {"Erro", UpdateReply::Erro, false},
        {"sempermissao", UpdateReply::SemPermissao, false},
        {"SemPermissao", UpdateReply::SemPermissao, false},
        {"   ", UpdateReply::Archive, false},
        {"", UpdateReply::Archive, false},
        {"\r\n\t", UpdateReply::Archive, false},
        // Not trimmed for the comparison: a blank in front is an archive.
        {" NADA", UpdateReply::Archive, true},
        {"nada\n", UpdateReply::Archive, true},
        {"a2012.06.01.3.zip", UpdateReply::Archive, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.reply + "\"");
        EXPECT_EQ(ClassifyReply(c.reply), c.meaning);
        EXPECT_EQ(StartupReplyOffersUpdate(c.reply), c.askedAtStartUp);
    }
}

TEST(UpdateServiceTest, TheNewVersionFollowsTheFirstLowerCaseA) {
    EXPECT_EQ(NewVersionFromReply("a2012.06.01.3.zip"), "2012.06.01.3");
    EXPECT_EQ(NewVersionFromReply("b7.zip"), "b7");
    EXPECT_EQ(NewVersionFromReply("A1.ZIP"), "A1.ZIP") << "case-sensitive";
    EXPECT_EQ(NewVersionFromReply("xa1.zip.zip"), "1.zip");
}

TEST(UpdateServiceTest, TheReplyIsTheBodysInnerMarkup) {
    EXPECT_EQ(BodyInnerMarkup("<html><head><title>x</title></head><BODY class=\"r\">nada</BODY>"
                              "</html>"),
              "nada");
    EXPECT_EQ(BodyInnerMarkup("a2012.zip"), "a2012.zip") << "a page without a body element";
    EXPECT_EQ(BodyInnerMarkup("<bodyx>no</bodyx>"), "<bodyx>no</bodyx>");
    EXPECT_EQ(BodyInnerMarkup("<body>open to the end"), "open to the end");
}

TEST(UpdateServiceTest, ReadOutsUseTheFourDigitGroupedFormat) {
    const NumberSeparators english;
    EXPECT_EQ(FormatKilobytes(1536 / 1024.0, english), "0,001.50 KB");
    EXPECT_EQ(FormatKilobytes(2000000 / 1024.0, english), "1,953.13 KB");
    EXPECT_EQ(FormatKilobytes(0, english), "0,000.00 KB");
    EXPECT_EQ(FormatKilobytes(-512 / 1024.0, english), "-0,000.50 KB");
    EXPECT_EQ(FormatKilobytes(5e9 / 1024.0, english), "4,882,812.50 KB");
    const NumberSeparators portuguese{".", ","};
    EXPECT_EQ(FormatKilobytes(2000000 / 1024.0, portuguese), "1.953,13 KB");
    EXPECT_EQ(FormatRate(1234.567, portuguese), "1234,57 KB/s");
    EXPECT_EQ(FormatRate(0, english), "0.00 KB/s");
    EXPECT_EQ(JoinMessages("a", "b"), "a\r\rb");
}

}  // namespace
}  // namespace zt
