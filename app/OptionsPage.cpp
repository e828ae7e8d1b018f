#include "OptionsPage.h"

#include "BrowseFolder.h"
#include "FlatEditUnit.h"
#include "FormsSupport.h"
#include "MyButtonEx.h"
#include "PngSpeedButton.h"
#include "ProgramDir.h"

#include <QCheckBox>
#include <QLabel>

namespace {

QLabel* caption(QWidget* parent, const QString& text, int left, int top, int size = 16)
{
    auto* label = new QLabel(text, parent);
    label->move(left, top);
    label->setFont(formFont(size));
    setTextColor(*label, kCaptionColor);
    label->adjustSize();
    return label;
}

QCheckBox* checkBox(QWidget* parent, const QString& objectName, const QString& text, int left, int top)
{
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(objectName);
    box->move(left, top);
    box->setFont(formFont(16));
    setTextColor(*box, kCaptionColor);
    box->setAttribute(Qt::WA_TranslucentBackground);
    box->adjustSize();
    return box;
}

// The when-done choices, in the order of WhenDone.
const char* const kWhenDoneEntries[]
    = {QT_TRANSLATE_NOOP("OptionsPage", "Do nothing"), QT_TRANSLATE_NOOP("OptionsPage", "Quit Calvera"),
        QT_TRANSLATE_NOOP("OptionsPage", "Suspend"), QT_TRANSLATE_NOOP("OptionsPage", "Power off")};

} // namespace

OptionsPage::OptionsPage(QWidget* parent)
    : QWidget(parent)
{
    setObjectName("OptionsPage");

    QLabel* jobsCaption = caption(this, tr("Simultaneous conversions"), 24, 14);
    cbJobs = makeFormsComboBox(this, QRect(24, 38, 120, 30));
    cbJobs->setObjectName("cbJobs");
    for (int jobs = 1; jobs <= Settings::maxJobs(); ++jobs)
        cbJobs->addItem(QString::number(jobs));
    cbJobs->setAccessibleName(jobsCaption->text());
    caption(this,
        tr("files converted at once; this computer has %n cores,\n1 converts one file after another", nullptr,
            Settings::maxJobs()),
        156, 38, 12);

    QLabel* whenDoneCaption = caption(this, tr("When a run ends"), 480, 14);
    cbWhenDone = makeFormsComboBox(this, QRect(480, 38, 200, 30));
    cbWhenDone->setObjectName("cbWhenDone");
    for (const char* entry : kWhenDoneEntries)
        cbWhenDone->addItem(tr(entry));
    cbWhenDone->setAccessibleName(whenDoneCaption->text());
    caption(this, tr("after a one-minute notice you can cancel; not after Stop"), 480, 72, 12);

    QLabel* folderCaption = caption(this, tr("Default output folder"), 24, 98);
    etFolder = makeFolderField(this, QRect(24, 124, 592, 28));
    etFolder->setObjectName("etFolder");
    etFolder->setAccessibleName(folderCaption->text());
    btFolder = new TPngSpeedButton(this);
    btFolder->setObjectName("btFolder");
    btFolder->setGeometry(624, 126, 24, 24);
    btFolder->SetPngImage(QImage(":/art/folder.png"));
    btFolder->setToolTip(tr("choose the default output folder"));
    btFolder->setAccessibleName(tr("Choose the default output folder"));
    btnDefaultFolder = makeFormsButton(this, tr("&Default"), QRect(660, 122, 121, 32));
    btnDefaultFolder->setObjectName("btnDefaultFolder");
    btnDefaultFolder->setToolTip(tr("convert into Calvera's own default folder again"));
    caption(this, tr("items without a save path of their own are converted into this folder"), 24, 158, 12);

    cbStartEmpty = checkBox(this, "cbStartEmpty", tr("Start with an empty list"), 24, 192);
    cbStartEmpty->setToolTip(tr("do not keep the list for the next start"));
    cbVerifyDecode = checkBox(this, "cbVerifyDecode", tr("Check each output by decoding it (slower)"), 236, 192);
    cbVerifyDecode->setToolTip(tr("decode every converted file once, to find a damaged one"));
    cbAddFromLast = checkBox(this, "cbAddFromLast", tr("Add Files starts from the last format and folder"), 24, 220);
    cbAddFromLast->setToolTip(tr("otherwise each Add starts from the first format and the global path"));
    cbFlat = checkBox(this, "cbFlat", tr("Flat output"), 680, 192);
    cbFlat->setToolTip(tr("the files of a dropped folder go straight into the output folder; otherwise they keep the "
                          "subfolders they had in it"));
    cbSkipExisting = checkBox(this, "cbSkipExisting", tr("Skip items already converted"), 496, 220);
    cbSkipExisting->setToolTip(
        tr("an item whose output is in its folder already, whole and newer than the input, is not converted again"));

    connect(cbJobs, &QComboBox::activated, this, [this](int row) {
        Settings next = m_settings;
        next.jobs = row + 1;
        change(next);
    });
    connect(cbWhenDone, &QComboBox::activated, this, [this](int row) {
        Settings next = m_settings;
        next.whenDone = static_cast<WhenDone>(row);
        change(next);
    });
    connect(btFolder, &QAbstractButton::clicked, this, [this] {
        const QString chosen = BrowseForFolder(this, tr("Default Output Folder"), etFolder->text());
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
    connect(cbStartEmpty, &QAbstractButton::clicked, this, [this](bool checked) {
        Settings next = m_settings;
        next.startEmpty = checked;
        change(next);
    });
    connect(cbVerifyDecode, &QAbstractButton::clicked, this, [this](bool checked) {
        Settings next = m_settings;
        next.verifyDecode = checked;
        change(next);
    });
    connect(cbAddFromLast, &QAbstractButton::clicked, this, [this](bool checked) {
        Settings next = m_settings;
        next.addFromLast = checked;
        change(next);
    });
    connect(cbFlat, &QAbstractButton::clicked, this, [this](bool checked) {
        Settings next = m_settings;
        next.flat = checked;
        change(next);
    });
    connect(cbSkipExisting, &QAbstractButton::clicked, this, [this](bool checked) {
        Settings next = m_settings;
        next.skipExisting = checked;
        change(next);
    });
    setTabOrder(cbJobs, cbWhenDone);
    setTabOrder(cbWhenDone, btFolder);
    setTabOrder(btFolder, btnDefaultFolder);
    setTabOrder(btnDefaultFolder, cbStartEmpty);
    setTabOrder(cbStartEmpty, cbVerifyDecode);
    setTabOrder(cbVerifyDecode, cbFlat);
    setTabOrder(cbFlat, cbAddFromLast);
    setTabOrder(cbAddFromLast, cbSkipExisting);
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
    cbWhenDone->setCurrentIndex(static_cast<int>(m_settings.whenDone));
    // The folder items really go to, also when it is the default one.
    etFolder->setText(
        m_settings.outputFolder.isEmpty() ? QString::fromStdString(defaultOutputFolder()) : m_settings.outputFolder);
    btnDefaultFolder->setEnabled(!m_settings.outputFolder.isEmpty());
    cbStartEmpty->setChecked(m_settings.startEmpty);
    cbVerifyDecode->setChecked(m_settings.verifyDecode);
    cbAddFromLast->setChecked(m_settings.addFromLast);
    cbFlat->setChecked(m_settings.flat);
    cbSkipExisting->setChecked(m_settings.skipExisting);
}
