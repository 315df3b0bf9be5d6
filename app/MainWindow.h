// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDir>
#include <QHash>
#include <QMainWindow>
#include <QPoint>
#include <QStringList>
#include <QTimer>

#include <functional>

class MessageLoging;
class QLabel;
class QLineEdit;
class QMessageBox;
class QPushButton;
struct Ui_MainWindow;
class SourceChannelChoice;

// The program's single window. Owns the widgets, the two browsing tables and
// the state the workflows share (folders, selected source file, target-track
// combo, busy flag, message and confirm boxes, source track names). Every
// slot runs on the GUI thread.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    // A verified take's row mark (MainWindow_Verify.cpp).
    struct VerifyMark
    {
        int verdict = 0;       // SyncVerdict
        QString shortText;     // the offset in ms
        QString tip;
    };

    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    void LoadIniSettings();
    void SaveIniSettings();
    QString SettingsFilePath() const;

    bool LoadSounds();                      // true when loading failed
    bool AnalyseSourceFile(int* entire, int* missingStart, int* partial, int* missingEnd);
    void ProcessNewTrackName(int k);

    // Read by tests and the demo; the window's own state.
    Ui_MainWindow* Ui() const { return ui; }
    SourceChannelChoice* SourceChannel() const { return m_pSourceChannel; }
    QString SourceFolder() const { return m_sSourceFolder; }
    QString TargetFolder() const { return m_sTargetFolder; }
    void SetFolders(const QString& source, const QString& target);
    QString SelectedSourceFile() const { return m_sSelectedSourceFile; }
    QStringList SourceTrackNames() const { return m_slSourceTrackNames; }
    int FirstVisibleSourceRow() const { return m_nFirstVisibleSourceRow; }
    int CurrentTrackNameEdit() const { return m_nCurrentTrackNameEdit; }
    int OpenMessageBoxCount() const { return m_nOpenMessageBoxes; }
    bool IsBusy() const { return m_bAnalysisBusy; }

    // Places each track-name edit beside the source row it shows and keeps
    // the first visible source row current (every scroll position).
    void AlignTrackNameEdits();
    // Folder fields: a path typed, pasted or dropped becomes the folder in
    // use when it is an existing folder (and is saved as a dialog choice
    // would be); otherwise a message and false. Load loads nothing then.
    bool AcceptTypedFolders();
    // Texts of the confirm boxes: what each selected take will get.
    enum class TrackAction { Create, Delete, Restore };
    QString TakesPlanText(TrackAction action, int track, const QStringList& tags) const;
    // Marks the tracks taken on the selected takes in the track choice.
    void UpdateTrackChoice();

    // Modal boxes go through this seam so a test can answer them instead of
    // blocking in exec(). Unset in the program.
    using ModalHook = std::function<int(QMessageBox& box)>;
    void SetModalHook(ModalHook hook) { m_fnModalHook = std::move(hook); }
    // Folder dialogs likewise: (caption, start folder) -> chosen folder.
    using FolderDialogHook = std::function<QString(const QString& caption, const QString& start)>;
    void SetFolderDialogHook(FolderDialogHook hook) { m_fnFolderDialogHook = std::move(hook); }

public slots:
    void slot_InputLogingMessage(QString title, QString text, int code, int kind, bool flag, int timeout);
    void slot_InputLoggingMessageBoxDestroyed();
    void slot_EndOfTableUpdate();
    void slot_SelectedSourceChanged(QString fileName, int row, int top);
    void slot_ProgressSize(long long value);
    void slot_SourceScrolled(int top);

    void OnPushButton_SourcePath();
    void OnPushButton_TargetPath();
    void OnPushButton_Load();
    void OnPushButton_CleanAll();
    void OnPushButton_TrackView();
    void OnPushButton_SceneView();
    void OnPushButton_Analyse();
    void OnPushButton_CreateSoundTrack();
    void OnPushButton_DeleteSoundTrack();
    void OnPushButton_RestoreSoundTrack();
    void slot_FolderFieldEdited();
    void OnPushButton_Verify();             // MainWindow_Verify.cpp

    void slot_editingFinishedLineEdit_S_1();
    void slot_editingFinishedLineEdit_S_2();
    void slot_editingFinishedLineEdit_S_3();
    void slot_editingFinishedLineEdit_S_4();
    void slot_editingFinishedLineEdit_S_5();
    void slot_editingFinishedLineEdit_S_6();
    void slot_editingFinishedLineEdit_S_7();
    void slot_editingFinishedLineEdit_S_8();
    void slot_editingFinishedLineEdit_S_9();
    void slot_editingFinishedLineEdit_S_10();
    void slot_editingFinishedLineEdit_S_11();
    void slot_editingFinishedLineEdit_S_12();
    void slot_editingFinishedLineEdit_S_13();
    void slot_editingFinishedLineEdit_S_14();
    void slot_editingFinishedLineEdit_S_15();
    void slot_editingFinishedLineEdit_S_16();
    void slot_editingFinishedLineEdit_S_17();
    void slot_editingFinishedLineEdit_S_18();
    void slot_editingFinishedLineEdit_S_19();
    void slot_editingFinishedLineEdit_S_20();
    void slot_editingFinishedLineEdit_S_21();
    void slot_editingFinishedLineEdit_S_22();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    int ExecModal(QMessageBox* box);
    void ShowModalMessage(int icon, const QString& text);
    QString ChooseFolder(const QString& current, const QString& caption);
    void SetActionButtonsEnabled(bool enabled);
    void ShowTrackNamesFrom(int top);
    QStringList SelectedTargetTags() const;
    void SetupWindowExtras();
    void SetupConformAction();
    void ConnectControls();
    void SetupTrackNameEdits();
    void RefreshLogPanel();
    void SetupVerifyControls();
    void VerifyTakes(const QStringList& tags, int track);
    void ShowVerifyMarks();

    Ui_MainWindow* ui = nullptr;
    SourceChannelChoice* m_pSourceChannel = nullptr;   // owned by the window (QObject parent)
    QDir m_SettingsDir;
    QString m_sSourceFolder;
    QString m_sTargetFolder;
    QString m_sSelectedSourceFile;
    int m_nSelectedSourceRow = -1;
    QList<QLineEdit*> m_TrackNameEdits;
    QStringList m_slSourceTrackNames;
    int m_nFirstVisibleSourceRow = 0;
    int m_nCurrentTrackNameEdit = 0;
    bool m_bAnalysisBusy = false;
    QMessageBox* m_pMessageBox = nullptr;
    QMessageBox* m_pConfirmBox = nullptr;
    MessageLoging* m_pLogger = nullptr;
    int m_nOpenMessageBoxes = 0;
    bool m_bCascadeSet = false;
    QPoint m_CascadePos;
    ModalHook m_fnModalHook;
    FolderDialogHook m_fnFolderDialogHook;
    QTimer m_TrackChoiceTimer;     // one update of the track marks per burst of selection changes
    // Verify marks of the takes of m_sVerifiedFolder, by file ID.
    QPushButton* m_pVerifyButton = nullptr;
    QLabel* m_pVerifyLegend = nullptr;
    QString m_sVerifiedFolder;
    QHash<QString, VerifyMark> m_VerifyMarks;
};
