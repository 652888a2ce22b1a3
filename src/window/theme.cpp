// The theme name: the label lblTemaMei and the theme name file, one record with one text field.
#include "widgets/controls.h"
#include "widgets/dialogs.h"
#include "widgets/text_convert.h"
#include "window/fraMain.h"
#include "window/messages.h"

#include "records/cp932.h"

#include <array>

using namespace Qt::StringLiterals;
using records::FieldKind;
using records::FieldValue;
using records::RecordFile;
using records::Status;

// A missing theme name file, or one with no record, is an empty theme name: the first change creates it.
bool fraMain::loadTheme() {
    constexpr std::array kinds = {FieldKind::Text};
    RecordFile file;
    m_themeKnown = records::IdentifyDataFile(kThemeFile);
    Status status = file.OpenForInput(kThemeFile);
    if (status.code() == Status::Code::NotFound)
        m_themeKnown = {};
    if (status)
        m_themeKnown = file.identity();
    QString name;
    if (status && !file.AtEnd()) {
        std::vector<FieldValue> values;
        status = file.ReadRecord(kinds, values);
        if (status)
            name = fromUtf8(std::get<std::string>(values[0]));
    }
    (void)file.Close();
    if (status.code() == Status::Code::Torn) {
        showTheme(QString());
        warnTornFile(kThemeFile, status);
        return true;
    }
    if (!status && status.code() != Status::Code::NotFound) {
        showTheme(QString());
        warnFileFailure(kThemeFile, status, true);
        return false;
    }
    showTheme(name);
    return true;
}

void fraMain::imgTema1_DblClick() {
    if (!unchangedOutside({DataFile::Theme}))
        return;
    // The input box shows typed text as it will be stored; what it returns is taken in that form too.
    const QString name = fromUtf8(
        records::StorableText(toUtf8(m_dialogs.input(this, messages::ThemeNamePrompt(), messages::ThemeNameTitle()))));
    if (name.isEmpty())
        return;
    if (refusesText(messages::ThemeNameField(), name) || !unchangedOutside({DataFile::Theme}))
        return;
    const std::array<FieldValue, 1> record = {toUtf8(name)};
    RecordFile file;
    file.expect(m_themeKnown);
    Status status = file.OpenForOutput(kThemeFile);
    if (status)
        status = file.WriteRecord(record);
    if (status)
        status = file.Close();
    if (followedChange(DataFile::Theme, status))
        return;
    if (!status) {
        warnFileFailure(kThemeFile, status, false);
        (void)loadTheme();
        return;
    }
    m_themeKnown = file.identity();
    showTheme(name);
}

// A screen reader hears the label by its text, and by what it is while no theme is set.
void fraMain::showTheme(const QString& name) {
    lblTemaMei->setText(name);
    lblTemaMei->setAccessibleName(name.isEmpty() ? messages::NoThemeName() : QString());
}

void fraMain::lblTemaMei_DblClick() {
    imgTema1_DblClick();
}
