// The keyword hand-over: "<working folder>\0<argument count>\0<argument>\0..." one way, "ok\n"
// back as soon as the running program has taken them.
#include "gui/keyword_handover.h"

#include "app/keyword_request.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>
#include <QVariant>

#include <filesystem>
#include <unistd.h>

namespace gui {

namespace {

constexpr char kDone[] = "ok\n";
// Taking the keywords is quick; only a program that does not turn its event loop misses this.
constexpr int kTakenTimeoutMs = 30000;

} // namespace

QString KeywordServerName(const std::string& storePath) {
    std::error_code ignored;
    std::string absolute = std::filesystem::weakly_canonical(storePath, ignored).string();
    if (absolute.empty()) {
        absolute = storePath;
    }
    QByteArray hash =
        QCryptographicHash::hash(QByteArray::fromStdString(absolute), QCryptographicHash::Sha1)
            .toHex()
            .left(20);
    return QString("vantaq-%1-%2").arg(getuid()).arg(QString::fromLatin1(hash));
}

KeywordReceiver::KeywordReceiver(const std::string& storePath)
    : m_Name(KeywordServerName(storePath)) {
    m_Server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_Server, &QLocalServer::newConnection, this, [this] { OnConnection(); });
}

bool KeywordReceiver::Listen(std::string& error) {
    QLocalServer::removeServer(m_Name);
    if (!m_Server.listen(m_Name)) {
        error = m_Server.errorString().toStdString();
        return false;
    }
    return true;
}

void KeywordReceiver::SetHandler(Handler handler) {
    m_Handler = std::move(handler);
    ActOnTaken();
}

void KeywordReceiver::OnConnection() {
    while (QLocalSocket* socket = m_Server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Serve(socket); });
        if (socket->bytesAvailable() > 0) {
            Serve(socket);
        }
    }
}

void KeywordReceiver::Serve(QLocalSocket* socket) {
    QByteArray bytes = socket->property("request").toByteArray() + socket->readAll();
    app::KeywordRequest taken;
    app::KeywordRequestState state =
        app::ParseKeywordRequest(std::string_view(bytes.constData(), bytes.size()), taken);
    if (state == app::KeywordRequestState::kMalformed) {
        // No start of this program sends it: whoever does gets no answer and no hearing.
        socket->setProperty("request", QByteArray());
        socket->abort();
        return;
    }
    if (state == app::KeywordRequestState::kIncomplete) {
        socket->setProperty("request", bytes);
        return;
    }
    socket->setProperty("request", QByteArray());
    // Taken: the second start may end now. The work comes after, from the event loop, so a
    // long job list never makes the second start wait, nor believe it was refused.
    m_Taken.push_back(Request{std::move(taken.workingDir), std::move(taken.arguments)});
    socket->write(kDone);
    socket->flush();
    socket->disconnectFromServer();
    if (m_Handler) {
        QTimer::singleShot(0, this, [this] { ActOnTaken(); });
    }
}

void KeywordReceiver::ActOnTaken() {
    while (m_Handler && !m_Taken.empty()) {
        Request request = std::move(m_Taken.front());
        m_Taken.erase(m_Taken.begin());
        m_Handler(request.workingDir, request.arguments);
    }
}

bool HandKeywords(const std::string& storePath, const std::string& workingDir,
                  const std::vector<std::string>& arguments, int timeoutMs, std::string& error) {
    QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    QString name = KeywordServerName(storePath);
    // The holder may still be starting up: it listens right after taking the lock.
    for (;;) {
        socket.connectToServer(name);
        if (socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
            break;
        }
        if (deadline.hasExpired()) {
            error =
                "the running program does not answer (" + socket.errorString().toStdString() + ")";
            return false;
        }
        QThread::msleep(50);
    }
    std::string request = app::KeywordRequestBytes({workingDir, arguments});
    if (request.size() > app::kMaxKeywordRequestBytes) {
        error = "the arguments are longer than " + std::to_string(app::kMaxKeywordRequestBytes) +
                " bytes";
        return false;
    }
    socket.write(request.data(), static_cast<qint64>(request.size()));
    // The answer comes when the keywords are taken, before the work they ask for.
    QDeadlineTimer answered(kTakenTimeoutMs);
    QByteArray reply;
    while (!reply.contains('\n') &&
           socket.waitForReadyRead(static_cast<int>(answered.remainingTime()))) {
        reply += socket.readAll();
    }
    if (reply != kDone) {
        error = "the running program did not confirm the keywords";
        return false;
    }
    return true;
}

} // namespace gui
