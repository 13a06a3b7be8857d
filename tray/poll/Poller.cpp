#include "poll/Poller.h"

#include "Connection.h"
#include "Formats.h"
#include "Handler.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTime>
#include <QWidget>
#include <algorithm>
#include <memory>
#include <vector>

namespace hv {

QString pollStatement() {
    // The date range lets the server read only the rows of the current day (and of yesterday in the
    // first three minutes after midnight) through the (CodeDate, CodeTime) index; without it every
    // poll of every workstation scans the days that the console has not purged yet.
    return QStringLiteral(
        "SELECT ID, CodeDate, CodeTime, CodeName, CodeLocation, CodeMessage, Comments From alerts Where "
        "CodeDate BETWEEN DATE(NOW() - INTERVAL 180 SECOND) AND DATE(NOW()) AND "
        "TIMESTAMPDIFF(SECOND, TIMESTAMP(CodeDate, CodeTime), NOW()) < 180 AND "
        "TIMESTAMPDIFF(SECOND, TIMESTAMP(CodeDate, CodeTime), NOW()) > 0");
}

QString tooltipStatement() {
    return QStringLiteral("Select TraysToolTipText From properties");
}

namespace {

const QString kCrLf = QStringLiteral("\r\n");

bool blankOnly(const QString& s) {
    return std::all_of(s.begin(), s.end(), [](QChar c) { return c == u' ' || c == u'\t'; });
}

// Within a poll only an unreachable server and a refused login end it; any other failure skips
// the step it happened in.
Reaction pollPolicy(const Failure& f) {
    if (f.number() == code::CannotOpen || f.number() == code::LoginRefused) return Reaction::EndHandler;
    return Reaction::NextStep;
}

} // namespace

namespace {

// A column's position: where the poll statement puts it, else wherever the record has it.
int columnOf(const QSqlRecord& row, int expected, const QString& name) {
    return row.fieldName(expected) == name ? expected : row.indexOf(name);
}

// Where the block's columns sit in a result; looked up once per poll, not once per value.
struct BlockColumns {
    explicit BlockColumns(const QSqlRecord& row)
        : time(columnOf(row, 2, QStringLiteral("CodeTime"))), name(columnOf(row, 3, QStringLiteral("CodeName"))),
          location(columnOf(row, 4, QStringLiteral("CodeLocation"))),
          message(columnOf(row, 5, QStringLiteral("CodeMessage"))),
          comments(columnOf(row, 6, QStringLiteral("Comments"))) {}
    int time, name, location, message, comments;
};

QString textAt(const QSqlRecord& row, int index, const char* column) {
    if (index < 0) return textOf(row, QLatin1String(column)); // says which column is missing
    return textOf(row.value(index));
}

QString alertBlock(const QSqlRecord& row, const BlockColumns& c) {
    const QVariant time = row.value(c.time);
    const QString name = textAt(row, c.name, "CodeName");
    const QString location = textAt(row, c.location, "CodeLocation");
    const QString comments = textAt(row, c.comments, "Comments");
    const QString message = textAt(row, c.message, "CodeMessage");
    // Built in one piece: every fleet poll makes these blocks.
    QString block;
    block.reserve(name.size() + location.size() + comments.size() + message.size() + 48);
    if (!time.isNull()) block += formatAmPm(time.toTime());
    block += u" - CODE ";
    block += name;
    block += kCrLf;
    block += u"Location = ";
    block += location;
    block += kCrLf;
    if (!blankOnly(comments)) {
        block += comments;
        block += kCrLf;
    }
    block += message;
    block += kCrLf;
    return block;
}

} // namespace

QString alertBlock(const QSqlRecord& row) {
    return alertBlock(row, BlockColumns(row));
}

// Far longer than any poll takes, far shorter than a workstation may go without alerts.
constexpr int kPollReadTimeoutSeconds = 20;

PollResult fetchAlerts(const QString& connectionString, bool readTooltip) {
    PollResult r;
    Handler h(pollPolicy);
    std::unique_ptr<Connection> conn;
    h.run([&] {
        h.step([&] {
            ConnectionOptions options;
            options.readTimeoutSeconds = kPollReadTimeoutSeconds;
            conn = std::make_unique<Connection>(connectionString, options);
        });
        if (!conn) return;
        // Each row's block is made as the row arrives, so that no copy of the rows is kept.
        std::vector<std::pair<qint64, QString>> blocks;
        h.step([&] {
            std::optional<BlockColumns> columns;
            int idColumn = -1;
            conn->forEach(pollStatement(), {}, [&](const QSqlRecord& row) {
                if (!columns) {
                    columns.emplace(row);
                    idColumn = columnOf(row, 0, QStringLiteral("ID"));
                }
                std::pair<qint64, QString>& block = blocks.emplace_back(row.value(idColumn).toLongLong(), QString());
                h.step([&] { block.second = alertBlock(row, *columns); });
            });
            r.statementRan = true;
        });
        if (r.statementRan) {
            // The statement has no order; the blocks and the ring decision go by ID.
            std::stable_sort(blocks.begin(), blocks.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
            for (const auto& [id, text] : blocks) {
                r.ids.append(id);
                r.text += text;
            }
        }
        if (readTooltip) {
            // A server lost after the alerts were read leaves the tooltip for a later poll; the
            // alerts already read still count.
            try {
                r.tooltip = textOf(firstRow(conn->select(tooltipStatement())), QStringLiteral("TraysToolTipText"));
                r.tooltipRead = true;
            } catch (const Failure& f) {
                r.tooltipRead = f.number() != code::CannotOpen;
            }
        }
    });
    if (const Failure* f = h.endedBy()) r.failure = *f;
    return r;
}

Poller::Poller(PopupPort& popup, RingPort& ring, QWidget* caller, QObject* parent)
    : QObject(parent), m_popup(popup), m_ring(ring), m_caller(caller) {}

Poller::~Poller() {
    shutdown();
}

void Poller::shutdown() {
    m_stopped = true;
    if (m_worker.joinable()) m_worker.join();
}

void Poller::tick() {
    if (m_busy || m_stopped) return;
    m_busy = true;
    emit pollStarted();
    if (m_worker.joinable()) m_worker.join();
    const QString cs = m_connectionString;
    const bool tooltip = m_tooltipPending;
    m_worker = std::thread([this, cs, tooltip] {
        PollResult r = fetchAlerts(cs, tooltip);
        QMetaObject::invokeMethod(
            this, [this, r] { deliver(r); }, Qt::QueuedConnection);
    });
}

void Poller::deliver(const PollResult& r) {
    if (m_stopped) {
        m_busy = false;
        return;
    }
    // A "Test Sound" ring is playing in a nested event loop: the alert waits for it to end, so
    // that two rings never sound at once and this one is not lost.
    if (m_ringing) {
        m_pending = r;
        return;
    }
    apply(r);
}

void Poller::apply(const PollResult& r) {
    struct EndOfPoll {
        Poller* p;
        ~EndOfPoll() {
            p->m_busy = false;
            emit p->pollEnded();
        }
    } end{this};

    Handler h([this](const Failure& f) {
        if (f.number() == code::LoginRefused) {
            m_stopped = true;
            if (m_fatal) m_fatal(f);
        }
        return pollPolicy(f);
    });
    h.run([&] {
        h.step([&] { m_popup.closePopup(); });
        if (r.failure) throw *r.failure;
        if (r.tooltipRead) {
            m_tooltipPending = false;
            emit tooltipRead(r.tooltip);
        }
        if (!r.statementRan || r.ids.isEmpty()) {
            if (r.statementRan) m_rungIDs.clear();
            return;
        }
        m_lastID = r.ids.last();
        h.step([&] { m_popup.showAlerts(r.text, m_caller); });
        const bool fresh =
            std::any_of(r.ids.begin(), r.ids.end(), [this](qint64 id) { return !m_rungIDs.contains(id); });
        // Counted as rung even when the sound fails, so that one alert never rings twice.
        m_rungIDs = QSet<qint64>(r.ids.begin(), r.ids.end());
        if (fresh) {
            // The ring holds this thread while it plays: let the new popup reach the screen first.
            QDeadlineTimer paint(150);
            while (!paint.hasExpired())
                QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
            if (!m_stopped) h.step([&] { playRing(); });
        }
    });
}

void Poller::playRing() {
    struct Ringing {
        bool& flag;
        explicit Ringing(bool& f) : flag(f) { flag = true; }
        ~Ringing() { flag = false; }
    } ringing(m_ringing);
    m_ring.ring();
}

void Poller::testSound() {
    if (m_ringing || m_stopped) return;
    Handler h(pollPolicy);
    h.run([&] { h.step([&] { playRing(); }); });
    if (m_pending) {
        const PollResult r = *m_pending;
        m_pending.reset();
        apply(r);
    }
}

} // namespace hv
