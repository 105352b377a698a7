#pragma once

#include "link/port_ref.h"
#include "protocol/line_store.h"
#include "protocol/params_text.h"
#include "protocol/station.h"

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QThread>
#include <QTimer>

#include <memory>

namespace kv306 {

class StoreSender;
class Toolkit;

// 生产模式: the station on the window's port, unit after unit, with the profile of the window's
// lists. A large 合格 / 不合格 for the unit just set up, the count, and its last ten rows; each
// unit's row goes to the report file chosen here, and, when a database is named, on to the line's
// record, with the whole line's figures beside the station's.
class ProductionDialog : public QDialog {
    Q_OBJECT
public:
    // `caption` names parameter k as the window's lists do.
    ProductionDialog(Toolkit &toolkit, const PortRef &port, const Params &profile, ParamNamer caption,
                     QWidget *parent = nullptr);
    ~ProductionDialog() override;

    // 选择…: the report file, asked for through the toolkit.
    void ChooseReport();
    bool SetReport(const QString &path);
    // 开始 and 停止. Stopping lets the exchange in flight finish.
    void Start();
    void Stop();
    bool Running() const { return worker_ != nullptr; }

    QLabel *Verdict() const { return verdict_; }
    QLabel *Reason() const { return reason_; }
    // What the port does while no unit is being set up ("请接上下一台设备").
    QLabel *State() const { return state_; }
    QLabel *Count() const { return count_; }
    QTableWidget *Rows() const { return rows_; }
    QPushButton *StartButton() const { return startButton_; }
    QPushButton *ChooseButton() const { return chooseButton_; }
    QLineEdit *SerialField() const { return serialField_; }
    QLineEdit *ReportField() const { return reportField_; }
    QLineEdit *OperatorField() const { return operatorField_; }
    QLineEdit *LotField() const { return lotField_; }
    // 数据库: the line's database, a connection URI or service=NAME; empty, the report alone.
    QLineEdit *StoreField() const { return storeField_; }
    // Whether the rows reach the database, and how many wait.
    QLabel *StoreState() const { return storeState_; }
    // The whole line's figures over the same time as the report's, from the database.
    QLabel *LineFigures() const { return lineFigures_; }
    QCheckBox *ScanBox() const { return scanBox_; }
    // The report's figures so far, as the units come.
    QLabel *Figures() const { return figures_; }

    // The last unit's outcome in the window's words ("已写入，校验不符：圆大小调整为 29，应为 30").
    QString ReasonWords(const StationRow &row) const;

signals:
    // The station began or ended: the window's own controls follow.
    void RunningChanged(bool running);

protected:
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    void Show(const StationRow &row);
    void ShowState(Station::SlotState state, const QString &why);
    void Finished();
    void Paint(const QString &text, const QString &colour);
    // The serial number typed or scanned, and its Enter.
    void Scan();
    void ShowFigures();
    // The rows on their way to the database, looked at while the station runs.
    void ShowStore();
    // The line's figures, asked for on a thread of their own (the database may be slow or away).
    void FetchLineFigures();
    void ShowLineFigures(const Checked<LineStore::LineFigures> &figures);

    Toolkit &toolkit_;
    PortRef port_;
    Params profile_;
    ParamNamer caption_;
    QLineEdit *reportField_ = nullptr;
    QPushButton *chooseButton_ = nullptr;
    QPushButton *startButton_ = nullptr;
    QLabel *verdict_ = nullptr;
    QLabel *reason_ = nullptr;
    QLabel *state_ = nullptr;
    QLabel *figures_ = nullptr;
    QLineEdit *operatorField_ = nullptr;
    QLineEdit *lotField_ = nullptr;
    QLineEdit *storeField_ = nullptr;
    QLabel *storeState_ = nullptr;
    QLabel *lineFigures_ = nullptr;
    QCheckBox *scanBox_ = nullptr;
    QLineEdit *serialField_ = nullptr;
    QLabel *count_ = nullptr;
    QTableWidget *rows_ = nullptr;
    std::unique_ptr<StationReport> report_;
    std::unique_ptr<Station> station_;
    std::unique_ptr<StoreSender> sender_;
    QString storeUrl_;  // of the last start; the line's figures are read from it
    QDateTime since_;   // the line's figures count from the report's first row
    QTimer storeTimer_;
    int storeLooks_ = 0;
    int shownSent_ = 0;
    bool fetching_ = false;
    QPointer<QThread> fetch_;  // the line's figures being read
    std::shared_ptr<LineStore> lineStore_;
    bool fetchAgain_ = false;
    QThread *worker_ = nullptr;
};

}  // namespace kv306
