// The main window with the shipped language file: the language list, the
// window and its tray menu in English and in Spanish, and back to the
// built-in Portuguese; numbered strings follow the language.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "LcfBuilder.h"
#include "app/AppTestSupport.h"
#include "app/MainWindow.h"
#include "app/skin/OutlineLabel.h"
#include "lang/CodePages.h"
#include "lang/Lcf.h"
#include "platform/Paths.h"
#include "platform/ResStrings.h"
#include "support/AlsaFixture.h"
#include "support/Renders.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace zt {
namespace {

namespace fs = std::filesystem;

constexpr int kNoDevice = 28160;

class LanguageTest : public ::testing::Test {
protected:
    LanguageTest() : fx_(std::string(44100 * 4, '\0')) {
        SetExecutableDirOverride(exeDir_.dir());
        fs::copy_file(ZT_LANGUAGE_FILE, exeDir_.file("ZeltaTresona.lcf"));
    }
    ~LanguageTest() override {
        window_.reset();
        UnloadLanguage();
        SetExecutableDirOverride("");
    }

    TFrmGravar& Create(int iIdioma = -1) {
        test::WriteSettings(exeDir_.dir(),
                            {{"AutoGravar", "N"}, {"iIdioma", std::to_string(iIdioma)}});
        MainWindowServices services;
        services.watchSignals = false;
        services.terminate = [] {};
        window_ = std::make_unique<TFrmGravar>(std::move(services));
        return *window_;
    }

    // Every text the window shows or keeps for its messages, and its tray
    // menu's, by component and property.
    std::map<std::string, std::string> Texts() {
        std::map<std::string, std::string> texts;
        texts["FrmGravar.title"] = window_->windowTitle().toStdString();
        for (QObject* o : window_->findChildren<QObject*>()) {
            const std::string name = o->objectName().toStdString();
            if (name.empty()) continue;
            if (auto* label = qobject_cast<QLabel*>(o); label && !label->text().isEmpty())
                texts[name] = label->text().toStdString();
            if (auto* caption = qobject_cast<TOutlineLabel*>(o); caption)
                texts[name] = caption->Caption().toStdString();
            if (auto* group = qobject_cast<QGroupBox*>(o); group && !group->title().isEmpty())
                texts[name] = group->title().toStdString();
            if (auto* button = qobject_cast<QAbstractButton*>(o)) {
                if (!button->text().isEmpty()) texts[name] = button->text().toStdString();
                if (!button->toolTip().isEmpty())
                    texts[name + ".hint"] = button->toolTip().toStdString();
            }
            if (auto* action = qobject_cast<QAction*>(o); action && !action->text().isEmpty())
                texts[name] = action->text().toStdString();
            // Texts drawn by the displays themselves (the gauge's caption).
            if (const QVariant caption = o->property("Caption"); caption.isValid())
                texts[name] = caption.toString().toStdString();
        }
        return texts;
    }

    void Choose(int32_t lcid) {
        QComboBox* list = window_->LanguageList();
        const int index = list->findData(lcid);
        ASSERT_GE(index, 0) << lcid;
        list->setCurrentIndex(index);
        window_->CBIdiomasChange();
    }

    test::TempDir exeDir_;
    test::AlsaFixture fx_;
    test::ScriptedDialogs dialogs_;
    std::unique_ptr<TFrmGravar> window_;
};

TEST_F(LanguageTest, EnglishAndSpanishReplaceEveryTextAndPortugueseRestoresThem) {
    TFrmGravar& w = Create();
    QComboBox* list = w.LanguageList();
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->itemData(0).toInt(), 1046);
    EXPECT_EQ(list->itemData(1).toInt(), 1033);
    EXPECT_EQ(list->itemData(2).toInt(), 3082);
    EXPECT_EQ(list->itemText(0), "Português (Brasil)");
    EXPECT_EQ(list->currentIndex(), 0);
    EXPECT_EQ(w.Settings().iIdioma, 0) << "the selection is kept in memory";

    const std::map<std::string, std::string> portuguese = Texts();
    ASSERT_GT(portuguese.size(), 25u);
    EXPECT_EQ(portuguese.at("LabelGravar"), "Gravar");
    EXPECT_EQ(portuguese.at("Fechar1"), "Fechar");
    EXPECT_EQ(portuguese.at("ProgressEspaco"), "ESPAÇO OCUPADO");

    // Names that are the same word in both languages, and the product's
    // and the maker's names.
    const std::map<int32_t, std::set<std::string>> same = {
        {1033, {"FrmGravar.title", "BEqualizador", "GroupBoxCrowley", "MMLabel1", "MMLabel2"}},
        {3082,
         {"FrmGravar.title", "BMinimizar", "BOcultar", "Minimizar1", "Maximizar1", "GroupBox1",
          "GroupBoxCrowley", "GrupoIdioma", "MMLabel1", "MMLabel2"}},
    };
    for (const auto& [lcid, unchanged] : same) {
        SCOPED_TRACE(lcid);
        Choose(lcid);
        const std::map<std::string, std::string> translated = Texts();
        ASSERT_EQ(translated.size(), portuguese.size());
        for (const auto& [name, text] : portuguese) {
            if (unchanged.count(name))
                EXPECT_EQ(translated.at(name), text) << name;
            else
                EXPECT_NE(translated.at(name), text) << name;
        }
        EXPECT_NE(LoadResString(kNoDevice), BuiltInResString(kNoDevice));
        w.show();
        test::SaveRender(w.grab().toImage(), "main_window_" + std::to_string(lcid));
    }
    EXPECT_EQ(Texts().at("LabelGravar"), "Grabar");
    EXPECT_EQ(LoadResString(kNoDevice), "No se encontró ningún dispositivo de grabación de audio");

    Choose(1046);
    EXPECT_EQ(Texts(), portuguese);
    EXPECT_EQ(LoadResString(kNoDevice), BuiltInResString(kNoDevice));
}

TEST(LanguageSourcesTest, PortugueseHoldsTheBuiltInTextsAndEveryLanguageTranslatesThemAll) {
    const std::string dir = ZT_LANGUAGE_SOURCES "/";
    const lcf::LanguageSource portuguese = lcf::ReadSourceFile(dir + "pt-BR.txt");
    ASSERT_EQ(portuguese.lcid, 1046);
    for (const auto& [id, text] : portuguese.strings)
        EXPECT_EQ(Utf16ToUtf8(text), BuiltInResString(id)) << id;
    auto placeholders = [](const std::u16string& text) {
        size_t n = 0;
        for (size_t at = 0; (at = text.find(u"%s", at)) != std::u16string::npos; at += 2) ++n;
        return n;
    };
    for (const char* name : {"en-US.txt", "es-ES.txt"}) {
        SCOPED_TRACE(name);
        const lcf::LanguageSource other = lcf::ReadSourceFile(dir + name);
        ASSERT_EQ(other.strings.size(), portuguese.strings.size());
        for (const auto& [id, text] : portuguese.strings) {
            ASSERT_EQ(other.strings.count(id), 1u) << id;
            EXPECT_EQ(placeholders(other.strings.at(id)), placeholders(text)) << id;
        }
        for (const auto& [className, entries] : portuguese.classes) {
            ASSERT_EQ(other.classes.count(className), 1u) << className;
            EXPECT_EQ(other.classes.at(className).size(), entries.size()) << className;
        }
    }
}

TEST_F(LanguageTest, TheSavedChoiceIsLoadedAtCreation) {
    struct Case {
        int iIdioma;
        int selected;
        const char* record;  // LabelGravar
    };
    for (const Case& c : {Case{1, 1, "Record"}, Case{2, 2, "Grabar"}, Case{7, -1, "Gravar"}}) {
        SCOPED_TRACE(c.iIdioma);
        TFrmGravar& w = Create(c.iIdioma);
        EXPECT_EQ(w.LanguageList()->currentIndex(), c.selected);
        EXPECT_EQ(Texts().at("LabelGravar"), c.record);
        window_.reset();
        UnloadLanguage();
    }
}

TEST_F(LanguageTest, AFileWithoutPortugueseSelectsNothingAndUnknownLanguagesAreNamedSo) {
    auto source = [](int32_t lcid, const char* record) {
        return lcf::ParseSource("language = " + std::to_string(lcid) +
                                    "\n[TFrmGravar]\nLabelGravar-Caption = " + record + "\n",
                                "test");
    };
    test::WriteFileBytes(
        exeDir_.file("ZeltaTresona.lcf"),
        lcf::BuildLanguageFile({source(1033, "Record"), source(1049, "Запись"), source(12345, "?")},
                               {}));
    TFrmGravar& w = Create();
    QComboBox* list = w.LanguageList();
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->itemText(1), "Русский (Россия)");
    EXPECT_EQ(list->itemText(2), "<unknown>");
    EXPECT_EQ(list->currentIndex(), -1);
    EXPECT_EQ(CurrentLanguage(), nullptr);
    EXPECT_EQ(Texts().at("LabelGravar"), "Gravar");
    // Picked from the list, the language applies.
    Choose(1049);
    EXPECT_EQ(Texts().at("LabelGravar"), "Запись");
}

TEST_F(LanguageTest, WithoutALanguageFileTheWindowKeepsItsBuiltInTexts) {
    fs::remove(exeDir_.file("ZeltaTresona.lcf"));
    TFrmGravar& w = Create();
    EXPECT_EQ(w.LanguageList()->count(), 0);
    EXPECT_EQ(Texts().at("LabelGravar"), "Gravar");
    EXPECT_EQ(CurrentLanguage(), nullptr);
}

}  // namespace
}  // namespace zt
