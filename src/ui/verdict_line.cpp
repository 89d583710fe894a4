#include "ui/verdict_line.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QSettings>

#include "reports/profile.h"
#include "reports/recording_summary.h"
#include "reports/summary_report.h"

namespace {

const QString kProfileKey = QStringLiteral("dados/perfil");
const QString kApprovedStyle = QStringLiteral("color: #007a00; font-weight: bold;");
const QString kRejectedStyle = QStringLiteral("color: #b00000; font-weight: bold;");

// Beside the user's profiles folder, so that one folder holds all of the program's choices.
QSettings Settings() {
    return QSettings(QStringLiteral("razurozavi"), QStringLiteral("razurozavi"));
}

}  // namespace

VerdictLine::VerdictLine(const MemoryImage& image, QLabel* line, QComboBox* chooser,
                         QObject* parent)
    : QObject(parent), image_(image), line_(line), chooser_(chooser) {
    std::vector<std::string> names = BuiltInProfileNames();
    for (const std::string& name : UserProfileNames(UserProfileDir())) {
        if (!BuiltInProfileText(name)) {
            names.push_back(name);
        }
    }
    for (const std::string& name : names) {
        chooser_->addItem(QString::fromStdString(name));
    }
    const int remembered = chooser_->findText(
        Settings().value(kProfileKey, QString::fromUtf8(DEFAULT_PROFILE)).toString());
    chooser_->setCurrentIndex(remembered >= 0 ? remembered : 0);
    Show(chooser_->currentText().toStdString());
    connect(chooser_, &QComboBox::currentTextChanged, this, [this](const QString& name) {
        Settings().setValue(kProfileKey, name);
        Show(name.toStdString());
    });
}

void VerdictLine::Show(const std::string& profile_name) {
    const ProfileLookup lookup = FindProfile(profile_name, UserProfileDir());
    QString text;
    bool approved = false;
    if (lookup.profile) {
        const RecordingSummary summary = SummarizeImage(image_, *lookup.profile);
        text = QString::fromStdString(VerdictLineText(summary));
        approved = summary.approved;
    } else {
        text = QString::fromStdString(lookup.message);
    }
    line_->setStyleSheet(approved ? kApprovedStyle : kRejectedStyle);
    line_->setToolTip(text);
    QFont bold = line_->font();
    bold.setBold(true);
    line_->setText(QFontMetrics(bold).elidedText(text, Qt::ElideRight, line_->width()));
}
