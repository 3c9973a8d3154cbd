// dkq-collector and PostgreSQL for the collector's tests and benchmark: the
// collector as a child process, a plain HTTP/1.0 GET, and a throwaway
// PostgreSQL cluster on 127.0.0.1 that lives as long as its object.
#pragma once

#include <string>
#include <vector>

namespace dkq::test {

class CollectorProcess {
  public:
    // Starts `$DKQ_COLLECTOR --listen 127.0.0.1:0 --database URL options...`
    // in the current folder, its standard error into `errors` when named;
    // waits for the line "http(s) 127.0.0.1:PORT".
    explicit CollectorProcess(const std::string& database,
                              const std::vector<std::string>& options = {},
                              const std::string& errors = "");
    ~CollectorProcess();
    CollectorProcess(const CollectorProcess&) = delete;
    CollectorProcess& operator=(const CollectorProcess&) = delete;

    int port() const { return port_; }
    int pid() const { return pid_; }
    // SIGTERM; the exit status, or -1 when it did not exit.
    int stop();

  private:
    int pid_ = -1;
    int port_ = 0;
};

struct HttpAnswer {
    int status = 0;
    std::string head;  // the status line and header lines
    std::string body;
};
// One request on its own connection to 127.0.0.1:port, with header lines
// ("Name: value\r\n" each) added.
HttpAnswer httpGet(int port, const std::string& target, const std::string& headers = "");

// With openssl, in the current folder: a private authority (ca.pem) and a
// certificate for 127.0.0.1 signed by it (server.pem, its key server.key,
// readable by its owner alone). False when openssl failed.
bool makeTestCertificates();

// Debian's chromium in headless mode as a shell command, arguments to be
// added: a new profile in the folder `profile`, no background services, no
// host name resolves (nothing but loopback can be reached), ended after
// `seconds`. Empty when chromium is not installed.
std::string headlessChromium(const std::string& profile, int seconds);

class PostgresCluster {
  public:
    // initdb and pg_ctl of Debian's postgresql, as the postgres user when run
    // as root; listens on 127.0.0.1 only, at a free port. `durable` keeps
    // fsync on (benchmarks); tests go without. Throws when it cannot start.
    explicit PostgresCluster(bool durable = false);
    ~PostgresCluster();
    PostgresCluster(const PostgresCluster&) = delete;
    PostgresCluster& operator=(const PostgresCluster&) = delete;

    // A new empty database; its URL, postgresql://dkq@127.0.0.1:PORT/NAME.
    std::string createDatabase(const std::string& name) const;
    // Sends the signal (STOP: a database that stops answering; CONT) to the
    // server and each of its processes.
    void signalServer(const std::string& signal) const;

  private:
    bool run(const std::string& command) const;

    std::string folder_;
    int port_ = 0;
    bool started_ = false;
};

}  // namespace dkq::test
