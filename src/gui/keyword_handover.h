// A second start on a store that a running program holds hands its start-up keywords to that
// program over a local socket named after the store, instead of working the same store twice.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <string>
#include <vector>

class QLocalSocket;

namespace gui {

// The socket name of a store: one per user and store file.
QString KeywordServerName(const std::string& storePath);

// In the program that holds the store: takes the keywords of later starts.
class KeywordReceiver : public QObject {
public:
    // Acts on one start's arguments (the program path not among them); `workingDir` is the
    // folder that start ran in, for relative paths.
    using Handler = std::function<void(const std::string& workingDir,
                                       const std::vector<std::string>& arguments)>;

    explicit KeywordReceiver(const std::string& storePath);
    // Starts listening; a socket left by a program that ended without cleaning up is replaced
    // (the caller holds the store's lock, so no running program owns it).
    bool Listen(std::string& error);
    // Requests are acknowledged as soon as they are taken and handed to the handler from the
    // event loop afterwards; those that came before the handler wait for it.
    void SetHandler(Handler handler);
    // Stops listening and removes the socket; for a process that ends without unwinding.
    void Close() { m_Server.close(); }

private:
    struct Request {
        std::string workingDir;
        std::vector<std::string> arguments;
    };
    void OnConnection();
    void Serve(QLocalSocket* socket);
    // Hands every taken request to the handler, in the order they came.
    void ActOnTaken();

    QLocalServer m_Server;
    QString m_Name;
    Handler m_Handler;
    std::vector<Request> m_Taken;
};

// In a second start: hands `arguments` and `workingDir` to the program holding the store and
// waits until it has taken them (not until it has done the work). Retries while that program
// is still starting, up to `timeoutMs`; then waits up to 30 s for the acknowledgement. False
// with the reason in `error` only when they were not taken.
bool HandKeywords(const std::string& storePath, const std::string& workingDir,
                  const std::vector<std::string>& arguments, int timeoutMs, std::string& error);

} // namespace gui
