// Translating windows: the path language, the order of entries, the kinds of
// property, string lists and collections, and what ends a translation.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QWidget>
#include <string>
#include <vector>

#include "LcfBuilder.h"
#include "lang/Lcf.h"
#include "lang/LcfTestSupport.h"
#include "lang/Translate.h"
#include "lang/ui/WidgetTranslation.h"
#include "platform/Exceptions.h"
#include "support/TempDir.h"

// Test windows with properties of every kind the translation meets. They
// live outside any namespace so that their resource names are plain.
class TTestColumn : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Caption MEMBER caption)
public:
    using QObject::QObject;
    QString caption;
};

class TTestBase : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QList<QObject*> Columns READ Columns)
    Q_PROPERTY(QByteArray AnsiText MEMBER ansiText)
    Q_PROPERTY(QString ReadOnly READ ReadOnly)
public:
    TTestBase() {
        setObjectName("FrmTest");
        for (int i = 0; i < 2; ++i) columns_.push_back(new TTestColumn(this));
        status = new QLabel("Pronto", this);
        status->setObjectName("LStatus");
        combo = new QComboBox(this);
        combo->setObjectName("CBFormato");
        combo->addItems({"zero", "um", "dois"});
    }
    QList<QObject*> Columns() const { return columns_; }
    QString ReadOnly() const { return "fixo"; }
    TTestColumn* Column(int i) const { return static_cast<TTestColumn*>(columns_[i]); }
    QByteArray ansiText;
    QLabel* status;
    QComboBox* combo;

private:
    QList<QObject*> columns_;
};

class TTestForm : public TTestBase {
    Q_OBJECT
};

namespace zt {
namespace {

using test::Language;

class TranslateTest : public ::testing::Test {
protected:
    TranslateTest() { RegisterWidgetTranslationAdapters(); }
    ~TranslateTest() override { UnloadLanguage(); }

    // Loads `lcid` from a file of these languages.
    void Load(const std::vector<lcf::LanguageSource>& languages, int32_t lcid,
              lcf::BuildOptions options = {}) {
        const std::string path = dir_.file("test.lcf");
        test::WriteFileBytes(path, lcf::BuildLanguageFile(languages, options));
        ASSERT_EQ(LoadLanguage(path, lcid, {}, nullptr), 1);
    }

    test::TempDir dir_;
    TTestForm form_;
};

TEST(NextTokenTest, SplitsAsTheEntriesNeed) {
    struct Case {
        std::string text;
        char separator;
        std::vector<std::string> tokens;
    };
    const std::vector<Case> cases = {
        {"LStatus-Caption", '-', {"LStatus", "Caption"}},
        {"Columns<1>.Caption", '.', {"Columns<1>", "Caption"}},
        {"Caption", '.', {"Caption"}},
        {"a.", '.', {"a"}},
        {".b", '.', {"", "b"}},
        {"a..b", '.', {"a", "", "b"}},
        {"", '.', {""}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> tokens;
        size_t p = 1;
        while (p > 0) tokens.push_back(NextToken(c.text, p, c.separator));
        EXPECT_EQ(tokens, c.tokens) << c.text;
    }
}

TEST_F(TranslateTest, EntriesReachTitlesCaptionsHintsItemsAndCollectionItems) {
    Load({Language(1046, ""), Language(1033,
                                       "[TTestForm]\n"
                                       "FrmTest-Caption = Test window\n"
                                       "lstatus-caption = Ready\n"
                                       "LStatus-Hint = What the recorder does\n"
                                       "FrmTest-Columns<1>.Caption = Second column\n"
                                       "CBFormato-Items(2).Text = two\n"
                                       "CBFormato-Items(1) = not applied: no property follows\n"
                                       "FrmTest-ReadOnly = not applied: read-only\n"
                                       "Nobody-Caption = not applied: no such component\n"
                                       "CBFormato-Items(9).Text = not applied: beyond the list\n")},
         1033);
    ASSERT_TRUE(TranslateForm(&form_));
    EXPECT_EQ(form_.windowTitle(), "Test window");
    EXPECT_EQ(form_.status->text(), "Ready");
    EXPECT_EQ(form_.status->toolTip(), "What the recorder does");
    EXPECT_EQ(form_.Column(0)->caption, "");
    EXPECT_EQ(form_.Column(1)->caption, "Second column");
    EXPECT_EQ(form_.combo->itemText(2), "two");
    EXPECT_EQ(form_.combo->itemText(1), "um");
    EXPECT_EQ(form_.combo->count(), 3);
}

TEST_F(TranslateTest, ALanguageWithoutATextLeavesThePropertyAsItIs) {
    Load({Language(1046, "[TTestForm]\nLStatus-Caption = Pronto para gravar\n"),
          Language(1033, "[TTestForm]\nFrmTest-Caption = Test window\n")},
         1033);
    ASSERT_TRUE(TranslateForm(&form_));
    EXPECT_EQ(form_.status->text(), "Pronto") << "no English text for it";
}

TEST_F(TranslateTest, WindowTextsUseThePlainIndexWhenTheSlotFlagIsSet) {
    lcf::BuildOptions options;
    options.reserveSlotZero = true;
    Load({Language(1033, "[TTestForm]\nLStatus-Caption = Ready\n"),
          Language(1046, "[TTestForm]\nLStatus-Caption = Pronto para gravar\n")},
         1046, options);
    EXPECT_EQ(CurrentLanguage()->Slot, 2);
    EXPECT_EQ(CurrentLanguage()->Index, 1);
    ASSERT_TRUE(TranslateForm(&form_));
    EXPECT_EQ(form_.status->text(), "Pronto para gravar");
}

TEST_F(TranslateTest, AnEightBitPropertyGetsTheLanguagesCodePage) {
    lcf::BuildOptions options;
    options.codePagesInHeader = true;
    Load({Language(1049, "codepage = 1251\n[TTestForm]\nFrmTest-AnsiText = Привет\n")}, 1049,
         options);
    ASSERT_TRUE(TranslateForm(&form_));
    EXPECT_EQ(form_.ansiText, QByteArray("\xCF\xF0\xE8\xE2\xE5\xF2"));
}

TEST_F(TranslateTest, BaseClassEntriesComeFirstAndTheWindowsOwnClassDecides) {
    Load({Language(1033,
                   "[TTestBase]\nLStatus-Caption = from the base\nLStatus-Hint = base hint\n"
                   "[TTestForm]\nLStatus-Caption = first\nLStatus-Caption = from the window\n")},
         1033);
    ASSERT_TRUE(TranslateForm(&form_));
    EXPECT_EQ(form_.status->text(), "from the window");
    EXPECT_EQ(form_.status->toolTip(), "base hint");

    // Without a resource for the window's own class nothing is applied.
    UnloadLanguage();
    TTestForm other;
    Load({Language(1033, "[TTestBase]\nLStatus-Caption = from the base\n")}, 1033);
    EXPECT_FALSE(TranslateForm(&other));
    EXPECT_EQ(other.status->text(), "Pronto");
}

TEST_F(TranslateTest, ABadIndexEndsTheTranslationAtThatEntry) {
    struct Case {
        const char* name;
        const char* entry;
    };
    const std::vector<Case> cases = {
        {"index text not a number", "CBFormato-Items(x).Text = never"},
        {"collection index outside", "FrmTest-Columns<2>.Caption = never"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UnloadLanguage();
        TTestForm form;
        Load({Language(1033, std::string("[TTestForm]\nFrmTest-Caption = before\n") + c.entry +
                                 "\nLStatus-Caption = after\n")},
             1033);
        EXPECT_THROW(TranslateForm(&form), Exception);
        EXPECT_EQ(form.windowTitle(), "before");
        EXPECT_EQ(form.status->text(), "Pronto");
    }
}

TEST_F(TranslateTest, EntriesPointingOutsideTheirResourceAreSkipped) {
    using test::Le32;
    // Three table entries: one whose record lies outside, one whose path
    // does, one whole; records begin after the table (24 bytes from it).
    const std::string path = "LStatus-Caption";
    const std::string good = Le32({16, int64_t(path.size()), 16 + int64_t(path.size()), 4}) + path +
                             test::Utf16Le(u"ok");
    const std::string badPath = Le32({0x7FFFFF00, 15, 16, 4});
    const std::string table = Le32({0x7FFFFFF0, 0, 24 + int64_t(good.size()), 0, 24, 0});
    const std::string resource = Le32({0}) + Le32({3}) + table + good + badPath;
    const std::string file = dir_.file("crafted.lcf");
    test::WriteFileBytes(
        file, lcf::BuildResourceModule(
                  {{"LCHEADER", "LCHEADER" + Le32({0, 1, 1033})}, {"TTESTFORM", resource}}));
    ASSERT_EQ(LoadLanguage(file, 1033, {}, nullptr), 1);
    ASSERT_TRUE(TranslateForm(&form_));
    EXPECT_EQ(form_.status->text(), "ok");
}

TEST_F(TranslateTest, NothingHappensWithoutALanguage) {
    EXPECT_FALSE(TranslateForm(&form_));
    EXPECT_EQ(form_.status->text(), "Pronto");
}

}  // namespace
}  // namespace zt

#include "TranslateTest.moc"
