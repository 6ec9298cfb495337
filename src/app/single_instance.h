// One running copy of the program per data folder.
//
// The snapshot slots of a folder hold one session. Two copies writing them would each
// replace the other's files, and the copy closed last would win. So the first copy
// started on a folder takes the folder's lock file and listens on a local socket named
// after the folder; a later start on the same folder hands its file to that copy (which
// loads it as a dropped file and comes to the front) and exits.
//
// The lock is a QLockFile: a lock left by a process that is gone (killed, or a PID now
// used by a program of another name) is taken over. Creating the lock file is atomic, so
// of two copies started at the same instant one holds the folder and the other hands
// over. A copy that cannot hand over (the holder is another user's, or does not answer;
// the lock file cannot be created) runs without writing any slot.
//
// Free of widgets: the window connects file_handed to its own handler.
#pragma once
#include <QObject>
#include <QString>
#include <filesystem>
#include <memory>
#include <string>

class QLocalServer;
class QLocalSocket;
class QLockFile;

namespace lvov {

constexpr char INSTANCE_LOCK_FILE[] = ".nevemulator.lock";

// The local socket of the copy holding folder: the hash of the user and of the folder's
// canonical path, in the user's runtime folder when there is one.
QString instance_server_name(const std::filesystem::path& folder);

// A file name made absolute against the working directory, byte for byte: the copy it is
// handed to may run elsewhere.
std::string absolute_file_name(const std::string& bytes);

class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Role {
        Owner,  // holds the folder: writes its slots, takes files from later starts
        HandedOver,  // the file went to the copy holding the folder: exit now
        WithoutSlots,  // runs on its own, but must write no slot (reason says why)
    };
    struct Outcome {
        Role role = Role::Owner;
        std::string reason;  // WithoutSlots: why, for the user; Owner: a problem to log, if any
    };

    explicit SingleInstance(std::filesystem::path folder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // How long claim waits for the holder to listen, and for its answer, in ms.
    int reach_ms = 3000;
    int answer_ms = 5000;

    // Takes the folder, or hands file (bytes of an absolute name; "" only brings the
    // holder to the front) to the copy that holds it. Call once.
    Outcome claim(const std::string& file);

    // The notice a copy running without slots shows at start-up.
    static std::string without_slots_notice(const std::string& reason);

signals:
    // A later start handed this file over (escaped as the window takes file names; ""
    // when it gave none): load it and come to the front.
    void file_handed(const QString& path);

private:
    enum class Handing { Done, NoServer, NoAnswer };
    Handing hand_over(const std::string& file, int connect_ms);
    std::string listen();
    void accept_connections();
    void read_request(QLocalSocket* socket);
    std::string holder_text() const;

    std::filesystem::path folder_;
    QString server_name_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
};

}  // namespace lvov
