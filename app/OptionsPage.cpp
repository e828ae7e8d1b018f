#include "OptionsPage.h"

#include "BrowseFolder.h"
#include "FlatEditUnit.h"
#include "FormsSupport.h"
#include "MyButtonEx.h"
#include "PngSpeedButton.h"
#include "ProgramDir.h"

#include <QLabel>

namespace {

QLabel* caption(QWidget* parent, const QString& text, int top, int size = 16)
{
    auto* label = new QLabel(text, parent);
    label->move(24, top);
    label->setFont(formFont(size));
    setTextColor(*label, kCaptionColor);
    label->adjustSize();
    return label;
}

} // namespace

OptionsPage::OptionsPage(QWidget* parent)
    : QWidget(parent)
{
    setObjectName("OptionsPage");

    QLabel* jobsCaption = caption(this, "Simultaneous conversions", 22);
    cbJobs = makeFormsComboBox(this, QRect(24, 48, 120, 30));
    cbJobs->setObjectName("cbJobs");
    for (int jobs = 1; jobs <= Settings::maxJobs(); ++jobs)
        cbJobs->addItem(QString::number(jobs));
    cbJobs->setAccessibleName(jobsCaption->text());
    caption(this,
        QString("files converted at once; this computer has %1 cores, 1 converts one file after another")
            .arg(Settings::maxJobs()),
        56, 12)
        ->move(156, 56);

    QLabel* folderCaption = caption(this, "Default output folder", 102);
    etFolder = makeFolderField(this, QRect(24, 128, 744, 28));
    etFolder->setObjectName("etFolder");
    etFolder->setAccessibleName(folderCaption->text());
    btFolder = new TPngSpeedButton(this);
    btFolder->setObjectName("btFolder");
    btFolder->setGeometry(776, 130, 24, 24);
    btFolder->SetPngImage(QImage(":/art/folder.png"));
    btFolder->setToolTip("choose the default output folder");
    btFolder->setAccessibleName("Choose the default output folder");
    caption(this, "items without a save path of their own are converted into this folder", 162, 12);
    btnDefaultFolder = makeFormsButton(this, "&Default", QRect(24, 190, 121, 41));
    btnDefaultFolder->setObjectName("btnDefaultFolder");
    btnDefaultFolder->setToolTip("convert into Calvera's own default folder again");

    connect(cbJobs, &QComboBox::activated, this, [this](int row) {
        Settings next = m_settings;
        next.jobs = row + 1;
        change(next);
    });
    connect(btFolder, &QAbstractButton::clicked, this, [this] {
        const QString chosen = BrowseForFolder(this, "Default Output Folder", etFolder->text());
        if (chosen.isEmpty())
            return;
        Settings next = m_settings;
        next.outputFolder = withTrailingSeparator(chosen);
        change(next);
    });
    btnDefaultFolder->OnClick = [this](TMyButtonEx*) {
        Settings next = m_settings;
        next.outputFolder.clear();
        change(next);
    };
    setTabOrder(cbJobs, btFolder);
    setTabOrder(btFolder, btnDefaultFolder);
    showSettings();
}

void OptionsPage::setSettings(const Settings& settings)
{
    m_settings = settings;
    showSettings();
}

void OptionsPage::change(const Settings& settings)
{
    if (settings == m_settings)
        return;
    setSettings(settings);
    emit changed(m_settings);
}

void OptionsPage::showSettings()
{
    cbJobs->setCurrentIndex(std::clamp(m_settings.jobs, 1, cbJobs->count()) - 1);
    // The folder items really go to, also when it is the default one.
    etFolder->setText(
        m_settings.outputFolder.isEmpty() ? QString::fromStdString(defaultOutputFolder()) : m_settings.outputFolder);
    btnDefaultFolder->setEnabled(!m_settings.outputFolder.isEmpty());
}
