#pragma once

#include "params/ParameterField.h"
#include "params/ParameterRow.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

class ParameterRowTable;
class ParameterSet;
class TDM;
class TInverterBase;
class WindowMessage;

// The working copy of one parameter window and its transfers to and from the inverter of the
// window's slot: Upload reads every entry into the driver and loads it back, Download writes
// every entry (with a commit after each write where the model needs one) and loads what the
// driver then holds, Default puts the factory values into the working copy.
//
// A transfer is strictly sequential: one request in flight, the next one issued from the
// completion of the previous one (messages 1234 for reads, 1235 for writes and commits).
// Exchanges that fail are passed over and the transfer goes on; the outcome names the
// parameters that failed. Only one transfer runs at a time, and the working copy cannot be
// edited while it runs.
class ParameterTransfer : public QObject
{
    Q_OBJECT

public:
    // What a window transfers: its rows in working-copy order, where each entry lives in the
    // driver's parameter table, its defaults and the differences between models.
    struct Plan
    {
        QString model;                 // the driver type the window serves: "KX100" ...
        QList<ParameterRow> rows;      // code, register and field of each entry
        QList<int> paramIndexes;       // the driver's parameter-table entry of each entry
        QList<int32_t> defaults;       // Default values per entry; empty: no Default
        bool commitAfterWrite = false; // the driver's commit follows every parameter write
        QSet<int> downloadSkip;        // entries a download passes over
        bool uploadOnly = false;       // a monitor window: no edits, Default or Download
        int addressEntry = -1;         // the entry holding the inverter's bus address, or -1

        int count() const { return int(rows.size()); }
        // Empty when the plan is consistent, else the reason.
        QString check() const;
    };

    // A plan from a window's rows and its model's parameter set: each row's key must be in
    // the set with the same register. The defaults are the rows' own when every row has one
    // (the KX300 groups), else the set's factory defaults. An empty plan and a reason when a
    // row does not match.
    static Plan makePlan(const ParameterRowTable &table, const ParameterSet &set,
                         QString *error = nullptr);

    // The slot named at the end of a caption: the decimal digits that follow the first
    // prefixLength characters (none gives 0). A number beyond 0..31 gives -1.
    static int slotFromCaption(const QString &caption, int prefixLength);

    enum class State { Idle, Uploading, Downloading };

    struct Outcome
    {
        bool upload = true;
        bool ok = true;    // every exchange of the transfer succeeded
        int attempted = 0; // parameters the transfer read or wrote
        QStringList failedCodes;
        // Download entries not sent because their register cannot carry the value (they are
        // among failedCodes too).
        QStringList refusedCodes;
        // Download entries not sent because they hold no value read from the drive (among
        // failedCodes too).
        QStringList unreadCodes;
        // The slot's driver was replaced or removed during the transfer, which then stopped.
        bool replaced = false;
        QString text; // "Upload OK", or which parameters failed
    };

    explicit ParameterTransfer(Plan plan, QObject *parent = nullptr);

    const Plan &plan() const { return m_plan; }
    int count() const { return m_plan.count(); }
    const ParameterRow &row(int entry) const { return m_plan.rows.at(entry); }

    // The registry the transfer works with; DM() unless one is set.
    void setRegistry(TDM *registry);
    TDM *registry() const;
    // The object the completions are posted to; the transfer itself unless another is set
    // (which then hands them to handleMessage).
    void setNotifyTarget(QObject *target) { m_notifyTarget = target; }

    // The window's slot; refused (false) while a transfer runs.
    bool setSlot(int slot);
    int slot() const { return m_slot; }

    // Load: copies the driver's values of every entry into the working copy and shows them,
    // then clears the modified flag. Does nothing, and says why in statusText(), while a
    // transfer runs or when the slot holds no driver of the plan's model.
    bool Load();
    // As Load, but the working copy takes the driver's values exactly as they are, without
    // pulling them into the fields' bounds: for callers that have checked them already and
    // must write back exactly what a file holds.
    bool LoadAsStored();
    // Start a transfer; false (with the reason in statusText()) when one already runs or the
    // slot holds no driver of the plan's model.
    bool startUpload();
    bool startDownload();
    // Default: the working copy takes the default values; the modified flag is set. The bus
    // address keeps the window's slot: a download of the factory address would move the
    // inverter off its address in the middle of the transfer.
    bool applyDefaults();

    // Values from elsewhere (a setup file's section) into the working copy, one per entry;
    // entries without one keep theirs. Each is shown as a load shows it and the modified flag
    // is set, so a download sends them. The bus address keeps the window's slot, as with
    // Default. Refused while a transfer runs and in a window that only reads.
    bool takeValues(const QList<std::optional<int32_t>> &values);

    // Operator edits; refused while a transfer runs and for fields that cannot be edited.
    bool selectItem(int entry, int item);
    ParameterField::Edited editText(int entry, const QString &text);

    // Handles the completions 1234 and 1235; false for any other message. A completion that
    // does not answer the request in flight is dropped.
    bool handleMessage(WindowMessage *message);

    const QList<int32_t> &workingCopy() const { return m_values; }
    // An entry whose value was not read from the drive (its read failed, or the loaded
    // section named it incomplete) and that the operator has not set since: its field holds
    // no value of the drive, and a download passes it over and names it.
    bool isUnread(int entry) const { return m_unread.contains(entry); }
    int32_t value(int entry) const { return m_values.at(entry); }
    // What the field of an entry shows for the current working copy.
    ParameterField::Shown shown(int entry) const;

    State state() const { return m_state; }
    bool isBusy() const { return m_state != State::Idle; }
    bool isModified() const { return m_modified; }
    bool canUpload() const { return !isBusy(); }
    bool canDownload() const { return !isBusy() && !m_plan.uploadOnly && m_modified; }
    bool canDefault() const;
    bool canEdit() const { return !isBusy() && !m_plan.uploadOnly; }

    int transferIndex() const { return m_index; }
    int progressPosition() const { return m_progressPosition; }
    int progressMaximum() const { return m_plan.count(); }
    QString statusText() const { return m_status; }

signals:
    // The whole working copy was put into the fields anew (load, Default).
    void valuesShown();
    // Busy state or modified flag changed.
    void stateChanged();
    void progressChanged(int position, int maximum, const QString &text);
    void statusChanged(const QString &text);
    // A transfer has run to its end; the working copy is loaded again.
    void finished(const ParameterTransfer::Outcome &outcome);

protected:
    void customEvent(QEvent *event) override;

private:
    // Ends a change of the working copy made at once (defaults, a file's values).
    void keepAddressAndMarkModified();
    // The driver of the slot when it is of the plan's model; else null and the reason.
    TInverterBase *driver(QString *why) const;
    void setStatus(const QString &text);
    void setModified(bool modified);
    void begin(State state);
    // Issues requests until one is in flight or the transfer has reached its end.
    void step();
    bool uploadRequest();
    bool downloadRequest();
    void finish();
    void markFailed(int entry);
    // True while the slot still holds the driver the transfer started with.
    bool sameDriver() const;
    void abandon();
    bool load(bool clamp);

    Plan m_plan;
    QList<int32_t> m_values;
    QPointer<TDM> m_registry;
    QPointer<QObject> m_notifyTarget;
    int m_slot = -1;
    State m_state = State::Idle;
    bool m_modified = false;
    bool m_commitPending = false;
    int m_index = -1;
    int m_progressPosition = 0;
    QString m_status;
    // The request in flight, to recognise its completion.
    bool m_awaiting = false;
    uint32_t m_awaitedMessage = 0;
    QByteArray m_awaitedRequest;
    int m_attempted = 0;
    QList<int> m_failed;
    QList<int> m_refused;
    QList<int> m_notRead;
    QSet<int> m_unread;
    uint64_t m_generation = 0;
};
