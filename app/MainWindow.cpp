// SPDX-License-Identifier: GPL-3.0-or-later
#include "MainWindow.h"

#include "BrowserStyle.h"
#include "ConformDialog.h"
#include "DebugOutput.h"
#include "MainWindowUi.h"
#include "SourceChannelChoice.h"
#include "MessageLoging.h"
#include "QPavaneBrowsingTable.h"
#include "SharedFonts.h"
#include "StyleSheets.h"

#include <QMap>

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDate>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTimer>
#include <QToolBar>

static void InitSonalignResources()
{
    // The style-sheet images live in the static app library: register them
    // before the first style sheet refers to them.
    Q_INIT_RESOURCE(resources);
}

namespace {
const char* const kVersion = "1.14";
}

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), ui(new Ui_MainWindow)
{
    InitSonalignResources();
    InitSharedFonts();
    ui->setupUi(this);
    m_pSourceChannel = new SourceChannelChoice(ui->gridLayout, ui->m_CtrlComboBox_TargetTrack, this);
    setStyleSheet(MainWindowStyleSheet());
    setWindowTitle(QStringLiteral("Sonalign Version %1").arg(QLatin1String(kVersion)));

    m_SettingsDir = QDir(QCoreApplication::applicationDirPath());
    m_SettingsDir = QDir(QStandardPaths::writableLocation(QStandardPaths::ConfigLocation));

    // One relay per process: a second window (tests build several) shares it
    // instead of leaving the first one unreachable.
    if (!global_pLogger)
        global_pLogger = new MessageLoging(nullptr);
    m_pLogger = global_pLogger;
    connect(m_pLogger, SIGNAL(signal_message(QString, QString, int, int, bool, int)), this,
            SLOT(slot_InputLogingMessage(QString, QString, int, int, bool, int)));

    ui->m_CtrlComboBox_TargetTrack->clear();
    for (int n = 1; n <= 24; ++n)
        ui->m_CtrlComboBox_TargetTrack->addItem(QStringLiteral(" Track %1").arg(n));

    // Tables: takes in the target table, raw files in the source table.
    ui->m_CtrlTable_Target->SetupBrowser(0, BROWSER_TAKES);
    ui->m_CtrlTable_Source->SetupBrowser(1, BROWSER_RAW_BWF);
    connect(ui->m_CtrlTable_Target, SIGNAL(signal_EndOfTableUpdate()), this, SLOT(slot_EndOfTableUpdate()));
    SetupVerifyControls();
    ui->m_CtrlTable_Source->setSelectionMode(QAbstractItemView::SingleSelection);

    SetupConformAction();

    LoadIniSettings();

    ConnectControls();
    ui->m_CtrlProgressBar_Size->setRange(0, 100);
    ui->m_CtrlProgressBar_Size->setValue(0);
    ui->m_CtrlProgressBar_File->setValue(0);

    ui->m_CtrlButton_CleanAll->setEnabled(false);
    ui->m_CtrlButton_Analyse->setEnabled(false);
    ui->m_CtrlButton_CreateSoundTrack->setEnabled(false);
    ui->m_CtrlLineEdit_SourcePath->setText(m_sSourceFolder);
    ui->m_CtrlLineEdit_TargetPath->setText(m_sTargetFolder);

    m_pMessageBox = new QMessageBox(this);
    m_pMessageBox->setStyleSheet(MessageBoxStyleSheet(250));
    m_pConfirmBox = new QMessageBox(this);
    m_pConfirmBox->setStyleSheet(MessageBoxStyleSheet(125));
    m_pConfirmBox->setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    m_nFirstVisibleSourceRow = 0;

    SetupTrackNameEdits();

    SetupWindowExtras();

    ui->m_CtrlButton_Load->setFocus();
    ui->m_CtrlLabel_Message->setText(QStringLiteral("Load and select a source file"));
    resize(1280, 750);
}

// Conform of a whole day: its own dialog; the window only opens it and
// reloads when it closes.
void MainWindow::SetupConformAction()
{
    QAction* conform = ui->mainToolBar->addAction(QStringLiteral("Conform…"));
    conform->setObjectName(QStringLiteral("m_CtrlAction_Conform"));
    connect(conform, &QAction::triggered, this, [this]() {
        if (m_bAnalysisBusy)
            return;
        auto* dialog = new ConformDialog(m_sSourceFolder, m_sTargetFolder, this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(dialog, &QDialog::finished, this, [this, dialog]() {
            // Every track the conform wrote is checked against its take by
            // the audio, as after a create; the marks return with the rows.
            QMap<int, QStringList> writtenByTrack;
            for (const ConformTake& take : dialog->Plan().takes)
                if (take.result == QLatin1String("written"))
                    writtenByTrack[take.trackIndex + 1] << take.fileId;
            for (auto it = writtenByTrack.cbegin(); it != writtenByTrack.cend(); ++it)
                VerifyTakes(it.value(), it.key());
            OnPushButton_Load();
        });
        dialog->open();
    });
}

// Every button and the source table reach their slots.
void MainWindow::ConnectControls()
{
    connect(ui->m_CtrlButton_SourcePath, SIGNAL(clicked()), this, SLOT(OnPushButton_SourcePath()));
    connect(ui->m_CtrlButton_TargetPath, SIGNAL(clicked()), this, SLOT(OnPushButton_TargetPath()));
    connect(ui->m_CtrlButton_Load, SIGNAL(clicked()), this, SLOT(OnPushButton_Load()));
    connect(ui->m_CtrlButton_CleanAll, SIGNAL(clicked()), this, SLOT(OnPushButton_CleanAll()));
    connect(ui->m_CtrlButton_TrackView, SIGNAL(clicked()), this, SLOT(OnPushButton_TrackView()));
    connect(ui->m_CtrlButton_SceneView, SIGNAL(clicked()), this, SLOT(OnPushButton_SceneView()));
    connect(ui->m_CtrlButton_DeleteSoundTrack, SIGNAL(clicked()), this, SLOT(OnPushButton_DeleteSoundTrack()));
    connect(ui->m_CtrlTable_Source, SIGNAL(signal_SelectedSourceChanged(QString, int, int)), this,
            SLOT(slot_SelectedSourceChanged(QString, int, int)));
    connect(ui->m_CtrlButton_Analyse, SIGNAL(clicked()), this, SLOT(OnPushButton_Analyse()));
    connect(ui->m_CtrlButton_CreateSoundTrack, SIGNAL(clicked()), this, SLOT(OnPushButton_CreateSoundTrack()));
    // The names beside the source table follow its first visible row.
    connect(ui->m_CtrlTable_Source->verticalScrollBar(), SIGNAL(valueChanged(int)), this, SLOT(slot_SourceScrolled(int)));
}

// One name edit beside each source row, each reporting to its own slot.
void MainWindow::SetupTrackNameEdits()
{
    m_TrackNameEdits = ui->m_CtrlLineEdit_S;
    static const char* const kEditSlots[Ui_MainWindow::kTrackNameEdits] = {
        SLOT(slot_editingFinishedLineEdit_S_1()),  SLOT(slot_editingFinishedLineEdit_S_2()),
        SLOT(slot_editingFinishedLineEdit_S_3()),  SLOT(slot_editingFinishedLineEdit_S_4()),
        SLOT(slot_editingFinishedLineEdit_S_5()),  SLOT(slot_editingFinishedLineEdit_S_6()),
        SLOT(slot_editingFinishedLineEdit_S_7()),  SLOT(slot_editingFinishedLineEdit_S_8()),
        SLOT(slot_editingFinishedLineEdit_S_9()),  SLOT(slot_editingFinishedLineEdit_S_10()),
        SLOT(slot_editingFinishedLineEdit_S_11()), SLOT(slot_editingFinishedLineEdit_S_12()),
        SLOT(slot_editingFinishedLineEdit_S_13()), SLOT(slot_editingFinishedLineEdit_S_14()),
        SLOT(slot_editingFinishedLineEdit_S_15()), SLOT(slot_editingFinishedLineEdit_S_16()),
        SLOT(slot_editingFinishedLineEdit_S_17()), SLOT(slot_editingFinishedLineEdit_S_18()),
        SLOT(slot_editingFinishedLineEdit_S_19()), SLOT(slot_editingFinishedLineEdit_S_20()),
        SLOT(slot_editingFinishedLineEdit_S_21()), SLOT(slot_editingFinishedLineEdit_S_22())};
    for (int k = 0; k < m_TrackNameEdits.size(); ++k) {
        QLineEdit* edit = m_TrackNameEdits[k];
        edit->setFont(generalFont10);
        edit->setEnabled(false);
        connect(edit, SIGNAL(editingFinished()), this, kEditSlots[k]);
    }
}

MainWindow::~MainWindow()
{
    // Children are destroyed after this body has run; their last signals
    // (a message box's destroyed()) must not reach a half-destroyed window.
    for (QObject* child : findChildren<QObject*>())
        disconnect(child, nullptr, this, nullptr);
    delete findChild<QObject*>(QStringLiteral("geometryWatcher"), Qt::FindDirectChildrenOnly);
    // The relay outlives the window: reporters may still hold the pointer.
    disconnect(m_pLogger, nullptr, this, nullptr);
    delete ui;
}

// ---- settings ----

QString MainWindow::SettingsFilePath() const
{
    return m_SettingsDir.absolutePath() + QStringLiteral("/AudioSonalign.ini");
}

void MainWindow::SetFolders(const QString& source, const QString& target)
{
    m_sSourceFolder = source;
    m_sTargetFolder = target;
    ui->m_CtrlLineEdit_SourcePath->setText(source);
    ui->m_CtrlLineEdit_TargetPath->setText(target);
}

void MainWindow::LoadIniSettings()
{
    QSettings settings(SettingsFilePath(), QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("LastSetup"));
    m_sSourceFolder = settings.value(QStringLiteral("SourceFolder"), QString()).toString();
    m_sTargetFolder = settings.value(QStringLiteral("TargetFolder"), QString()).toString();
    bool ok = false;
    const int index = settings.value(QStringLiteral("TargetTrackIndex"), 0).toInt(&ok);
    if (ok && index >= 0 && index < ui->m_CtrlComboBox_TargetTrack->count())
        ui->m_CtrlComboBox_TargetTrack->setCurrentIndex(index);
    settings.endGroup();
}

void MainWindow::SaveIniSettings()
{
    QSettings settings(SettingsFilePath(), QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("LastSetup"));
    settings.setValue(QStringLiteral("Date"), QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
    settings.setValue(QStringLiteral("SourceFolder"), m_sSourceFolder);
    settings.setValue(QStringLiteral("TargetFolder"), m_sTargetFolder);
    settings.setValue(QStringLiteral("TargetTrackIndex"), ui->m_CtrlComboBox_TargetTrack->currentIndex());
    settings.setValue(QStringLiteral("SysVersion"), QSysInfo::productVersion());
    settings.setValue(QStringLiteral("SysType"), QSysInfo::productType());
    settings.setValue(QStringLiteral("Version"), QString::fromLatin1(kVersion));
    settings.endGroup();
    settings.sync();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    SaveIniSettings();
    event->accept();
}

// ---- folders ----

QString MainWindow::ChooseFolder(const QString& current, const QString& caption)
{
    const QString start = (!current.isEmpty() && QFileInfo::exists(current)) ? current : QDir::currentPath();
    if (m_fnFolderDialogHook)
        return m_fnFolderDialogHook(caption, start);
    return QFileDialog::getExistingDirectory(nullptr, caption, start, QFileDialog::ShowDirsOnly);
}

void MainWindow::OnPushButton_SourcePath()
{
    const QString folder = ChooseFolder(m_sSourceFolder, QStringLiteral("Select source folder (additional tracks)"));
    if (folder.isEmpty())
        return;
    m_sSourceFolder = folder;
    ui->m_CtrlLineEdit_SourcePath->setText(folder);
    SaveIniSettings();
}

void MainWindow::OnPushButton_TargetPath()
{
    const QString folder = ChooseFolder(m_sTargetFolder, QStringLiteral("Select target folder (master takes)"));
    if (folder.isEmpty())
        return;
    m_sTargetFolder = folder;
    ui->m_CtrlLineEdit_TargetPath->setText(folder);
    SaveIniSettings();
}

// ---- messages ----

int MainWindow::ExecModal(QMessageBox* box)
{
    if (m_fnModalHook)
        return m_fnModalHook(*box);
    return box->exec();
}

void MainWindow::ShowModalMessage(int icon, const QString& text)
{
    m_pMessageBox->setIcon(QMessageBox::Icon(icon));
    m_pMessageBox->setText(text);
    ExecModal(m_pMessageBox);
}

void MainWindow::slot_InputLogingMessage(QString title, QString text, int code, int kind, bool, int timeout)
{
    MyQDebug("slot_InputLogingMessage %s %s", title.toLocal8Bit().constData(), text.toLocal8Bit().constData());
    const QString prefix = code != 0 ? QStringLiteral("Error #%1\n").arg(code) : QString();
    if (m_nOpenMessageBoxes >= 10)
        return;
    if (m_nOpenMessageBoxes == 9) {
        title = QStringLiteral("Error");
        text = QStringLiteral("Too many messages");
        kind = 0;
    }
    ++m_nOpenMessageBoxes;

    auto* box = new QMessageBox(this);
    box->setStyleSheet(MessageBoxStyleSheet(120));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    box->setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint
                        | Qt::WindowCloseButtonHint);
    connect(box, SIGNAL(destroyed(QObject*)), this, SLOT(slot_InputLoggingMessageBoxDestroyed()));
    box->setWindowTitle(title);
    box->setText(prefix + text);
    switch (kind) {
    case 0:
    case 1: box->setIcon(QMessageBox::Critical); break;
    case 2: box->setIcon(QMessageBox::Warning); break;
    default: box->setIcon(QMessageBox::Information); break;
    }
    if (m_bCascadeSet) {
        m_CascadePos += QPoint(10, 10);
        box->move(m_CascadePos);
    }
    if (timeout != 0) {
        auto* timer = new QTimer(box);
        timer->setSingleShot(true);
        timer->setInterval(timeout);
        connect(timer, SIGNAL(timeout()), box, SLOT(reject()));
        timer->start();
    }
    box->show();
    if (!m_bCascadeSet) {
        m_bCascadeSet = true;
        m_CascadePos = box->pos();
    }
}

void MainWindow::slot_InputLoggingMessageBoxDestroyed()
{
    --m_nOpenMessageBoxes;
    if (m_nOpenMessageBoxes <= 0) {
        m_nOpenMessageBoxes = 0;
        m_bCascadeSet = false;
    }
}
