/* The yardstick of link_bench: the least a program can do for one Modbus-ASCII
 * exchange over TCP. Blocking socket, one write of the request text, reads
 * until the answer's CR LF; no checks, no time-outs, no output.
 * Usage: minimal_client PORT COUNT REQUEST   (the peer is 127.0.0.1:PORT) */
#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: minimal_client PORT COUNT REQUEST\n");
        return 64;
    }
    struct sockaddr_in peer = {0};
    peer.sin_family = AF_INET;
    peer.sin_port = htons((unsigned short)atoi(argv[1]));
    peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (connect(fd, (const struct sockaddr*)&peer, sizeof peer) != 0) {
        perror("minimal_client: connect");
        close(fd);
        return 1;
    }
    char request[520];
    const int length = snprintf(request, sizeof request, "%s\r\n", argv[3]);
    const long count = atol(argv[2]);
    for (long i = 0; i < count; ++i) {
        if (write(fd, request, (size_t)length) != length) return 1;
        char answer[512];
        size_t got = 0;
        // cppcheck-suppress legacyUninitvar ; the two bytes before got were read
        while (got < 2 || answer[got - 2] != '\r' || answer[got - 1] != '\n') {
            const ssize_t n = read(fd, answer + got, sizeof answer - got);
            if (n <= 0 || (got += (size_t)n) == sizeof answer) return 1;
        }
    }
    close(fd);
    return 0;
}
