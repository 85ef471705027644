// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "asker.hpp"
#include "commondialog.hpp"
#include "pack/packbatch.hpp"
#include "voicepackmodel.hpp"

#include <QMainWindow>
#include <QThreadPool>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTableView;
class QTabWidget;

namespace ravik {

/// What the Voice Pack window asks of the other windows.
struct VoicePackHost {
    /// Opens the recording with its GAP file in the Recording window.
    std::function<void(const QString& recording, const QString& gap)> openRecording;
    /// Opens the GAP file in the main window.
    std::function<void(const QString& gap)> openInMain;
};

/// Every line of a voice pack in one table: their statuses come from a scan on a pool of
/// workers (one a core) while the window stays free, and Detect and Defrag run over a selection
/// as a batch that Undo Last Batch takes back. The lines, their statuses and the batches are
/// voicepack's; the window shows them and passes the user's choices on.
class VoicePackWindow final : public QMainWindow {
    Q_OBJECT
public:
    /// How often the files are looked at again for changes made elsewhere.
    static constexpr int kRecheckMs = 2000;

    explicit VoicePackWindow(VoicePackHost host, QWidget* parent = nullptr);
    ~VoicePackWindow() override;

    /// Lists the lines under `folder` at once and starts scanning them.
    void openFolder(const QString& folder);
    [[nodiscard]] const QString& folder() const { return folder_; }

    void setAsker(std::unique_ptr<Asker> asker);
    void setChooser(std::unique_ptr<FileChooser> chooser);

    /// The selected lines' rows in the model, in the table's order.
    [[nodiscard]] std::vector<int> selectedRows() const;

    void detectSelected();
    void defragSelected();
    void undoLastBatch();
    void openSelectedInRecordingWindow();
    void openSelectedInMainWindow();
    void exportReport();
    /// Stops the scan or the batch under way: a batch's files are each as before or whole.
    void cancel();
    /// Looks for lines whose files changed since their scan and scans those again.
    void recheck();

    [[nodiscard]] bool scanning() const { return scan_ != nullptr; }
    [[nodiscard]] bool batchRunning() const { return batch_ != nullptr; }
    [[nodiscard]] VoicePackModel& model() { return model_; }
    [[nodiscard]] VoicePackFilter& filter() { return filter_; }
    [[nodiscard]] QTableView& table() const { return *table_; }
    /// The selected line's findings, as the Findings pane shows them.
    [[nodiscard]] QString findingsText() const;
    /// What the last batch or undo did, as the Last Batch pane shows it.
    [[nodiscard]] QString reportText() const;
    /// Whether the Last Batch pane is the one shown.
    [[nodiscard]] bool reportShown() const;
    [[nodiscard]] QString countsText() const;
    /// F5: lists the folder again (new, removed and renamed lines; the others keep their status
    /// until their scan again comes) and scans every line, keeping the selection and the view.
    void scanAgain();
    /// Fits the Line column to its longest name.
    void fitLineColumn();
    /// The time the names took to show, from the start of openFolder.
    [[nodiscard]] qint64 listingMs() const { return listingMs_; }

signals:
    void scanFinished();
    void batchFinished();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct ScanJob;
    struct BatchJob;
    struct CheckJob;

    void buildActions();
    QWidget* buildFilters();
    void startScan(std::vector<int> rows);
    [[nodiscard]] static std::vector<int> unscannedRows(ScanJob& job);
    void startBatch(bool detect, std::vector<int> rows, bool replaceExisting);
    void collect();
    void finishBatch();
    void showFindings();
    void updateCounts();
    void updateActions();
    void setProgress(std::size_t done, std::size_t total);
    void showReport(const QString& report);

    VoicePackHost host_;
    std::unique_ptr<Asker> asker_;
    CommonDialog dialog_;
    QString folder_;
    VoicePackModel model_;
    VoicePackFilter filter_;
    QThreadPool pool_;
    QTimer collector_;
    QTimer recheckTimer_;
    std::shared_ptr<ScanJob> scan_;
    std::vector<std::shared_ptr<ScanJob>> retired_; ///< given way to a newer scan, still running
    std::shared_ptr<BatchJob> batch_;
    std::shared_ptr<CheckJob> check_;
    std::optional<voicepack::Batch> lastBatch_;
    qint64 listingMs_ = 0;
    QString lastExport_; ///< where the last report was written: the next one is suggested there

    QTableView* table_;
    QLineEdit* text_;
    QComboBox* status_;
    QTabWidget* panes_;
    QPlainTextEdit* findings_;
    QPlainTextEdit* report_;
    QLabel* counts_;
    QProgressBar* progress_;
    QPushButton* cancel_;
    QAction* detect_ = nullptr;
    QAction* defrag_ = nullptr;
    QAction* undo_ = nullptr;
    QAction* openRecording_ = nullptr;
    QAction* openMain_ = nullptr;
    QAction* export_ = nullptr;
};

} // namespace ravik
