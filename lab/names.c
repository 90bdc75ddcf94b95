/*
 * A lab host's name service: answers reverse (PTR) queries for the host's own address
 * over multicast DNS (RFC 6762, UDP 5353, group 224.0.0.251) and LLMNR (RFC 4795, UDP
 * 5355, group 224.0.0.252), address (AAAA) queries for its multicast DNS name with the
 * IPv6 addresses given (--aaaa, up to four), and NetBIOS node-status queries (RFC 1002, UDP 137) with a
 * name, a workgroup and an adapter address of our choosing, which need not be the
 * host's MAC. Each service is on only when its option is given. One process per host
 * namespace; lab/lab starts it.
 *
 *   names --address IP [--mdns NAME [--aaaa IPV6]...] [--llmnr NAME]
 *         [--nbstat NAME GROUP MAC] [--ready FILE]
 */
#define _DEFAULT_SOURCE
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

enum { kMdns, kLlmnr, kNbstat, kServices };

static struct in_addr own;
static char reverse[64];  /* d.c.b.a.in-addr.arpa */
static const char *names[2];
static const char *nb_name, *nb_group;
static uint8_t nb_mac[6];
static struct in6_addr aaaa[4];
static int aaaa_count;

static int die(const char *what)
{
    fprintf(stderr, "names: %s: %s\n", what, strerror(errno));
    exit(1);
}

static int open_udp(uint16_t port, const char *group)
{
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s < 0)
        die("socket");
    int on = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    struct sockaddr_in at = {.sin_family = AF_INET, .sin_port = htons(port)};
    at.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(s, (struct sockaddr *)&at, sizeof at) != 0)
        die("bind");
    if (group) {
        struct ip_mreqn join = {.imr_address = own};
        inet_pton(AF_INET, group, &join.imr_multiaddr);
        if (setsockopt(s, IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof join) != 0)
            die("IP_ADD_MEMBERSHIP");
    }
    return s;
}

/* Reads an uncompressed name at `at` as dotted text; the offset after it, or 0. */
static size_t read_name(const uint8_t *msg, size_t size, size_t at, char *out, size_t room)
{
    size_t used = 0;
    for (;;) {
        if (at >= size)
            return 0;
        uint8_t len = msg[at++];
        if (len == 0)
            break;
        if (len > 63 || at + len > size || used + len + 2 > room)
            return 0;
        if (used)
            out[used++] = '.';
        memcpy(out + used, msg + at, len);
        used += len;
        at += len;
    }
    out[used] = 0;
    return at;
}

static size_t put_name(uint8_t *out, const char *name)
{
    size_t n = 0;
    while (*name) {
        const char *dot = strchr(name, '.');
        size_t len = dot ? (size_t)(dot - name) : strlen(name);
        out[n++] = (uint8_t)len;
        memcpy(out + n, name, len);
        n += len;
        name += len + (dot ? 1 : 0);
    }
    out[n++] = 0;
    return n;
}

static void put16(uint8_t *p, unsigned v)
{
    p[0] = (uint8_t)(v >> 8);
    p[1] = (uint8_t)v;
}

/* A PTR query for our reverse name gets one answer, an AAAA query for our multicast DNS
 * name one per address; anything else none. */
static void answer_dns(int s, int service)
{
    uint8_t msg[1500], out[600];
    struct sockaddr_in from;
    socklen_t from_size = sizeof from;
    ssize_t n = recvfrom(s, msg, sizeof msg, 0, (struct sockaddr *)&from, &from_size);
    if (n < 12 || (msg[2] & 0x80) || msg[4] != 0 || msg[5] != 1)
        return;
    char qname[256];
    size_t end = read_name(msg, (size_t)n, 12, qname, sizeof qname);
    if (!end || end + 4 > (size_t)n)
        return;
    unsigned type = (unsigned)(msg[end] << 8 | msg[end + 1]);
    size_t question = end + 4 - 12;
    if (service == kMdns && aaaa_count && strcasecmp(qname, names[kMdns]) == 0 &&
        (type == 28 || type == 255)) {
        memcpy(out, msg, 2);
        put16(out + 2, 0x8400);
        put16(out + 4, 1);
        put16(out + 6, (unsigned)aaaa_count);
        memset(out + 8, 0, 4);
        memcpy(out + 12, msg + 12, question);
        out[12 + question - 1] = 1;
        out[12 + question - 2] = 0;
        size_t k = 12 + question;
        for (int i = 0; i < aaaa_count; ++i, k += 28) {
            put16(out + k, 0xC00C);
            put16(out + k + 2, 28);
            put16(out + k + 4, 1);
            memset(out + k + 6, 0, 4);
            out[k + 9] = 120;
            put16(out + k + 10, 16);
            memcpy(out + k + 12, &aaaa[i], 16);
        }
        sendto(s, out, k, 0, (struct sockaddr *)&from, from_size);
        return;
    }
    if (strcasecmp(qname, reverse) != 0 || (type != 12 && type != 255))
        return;
    memcpy(out, msg, 2);
    put16(out + 2, service == kMdns ? 0x8400 : 0x8000);
    put16(out + 4, 1);
    put16(out + 6, 1);
    put16(out + 8, 0);
    put16(out + 10, 0);
    memcpy(out + 12, msg + 12, question);
    out[12 + question - 1] = 1; /* class IN, without the unicast-response bit */
    out[12 + question - 2] = 0;
    size_t k = 12 + question;
    put16(out + k, 0xC00C);
    put16(out + k + 2, 12);
    put16(out + k + 4, 1);
    memset(out + k + 6, 0, 4);
    out[k + 9] = 120;
    size_t len = put_name(out + k + 12, names[service]);
    put16(out + k + 10, (unsigned)len);
    k += 12 + len;
    sendto(s, out, k, 0, (struct sockaddr *)&from, from_size);
}

/* Node status: header, the asked name (34 bytes), NBSTAT IN, TTL 0, data length, then
 * the name count, 18-byte entries (15 name bytes, suffix, flags) and 46 bytes of
 * statistics whose first six are the unit ID. */
static void answer_nbstat(int s)
{
    uint8_t msg[600], out[200];
    struct sockaddr_in from;
    socklen_t from_size = sizeof from;
    ssize_t n = recvfrom(s, msg, sizeof msg, 0, (struct sockaddr *)&from, &from_size);
    if (n < 50 || (msg[2] & 0x80) || msg[12] != 0x20 || msg[47] != 0x21)
        return;
    memset(out, 0, sizeof out);
    memcpy(out, msg, 2);
    put16(out + 2, 0x8400);
    put16(out + 6, 1);
    memcpy(out + 12, msg + 12, 34);
    put16(out + 46, 0x21);
    put16(out + 48, 1);
    put16(out + 54, 1 + 2 * 18 + 46);
    out[56] = 2;
    uint8_t *entry = out + 57;
    const char *texts[2] = {nb_name, nb_group};
    for (int i = 0; i < 2; ++i, entry += 18) {
        memset(entry, ' ', 15);
        memcpy(entry, texts[i], strlen(texts[i]) > 15 ? 15 : strlen(texts[i]));
        entry[15] = 0;
        put16(entry + 16, i == 0 ? 0x0400 : 0x8400);
    }
    memcpy(entry, nb_mac, 6);
    sendto(s, out, (size_t)(entry + 46 - out), 0, (struct sockaddr *)&from, from_size);
}

int main(int argc, char **argv)
{
    const char *ready = NULL, *address = NULL;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--address") && i + 1 < argc)
            address = argv[++i];
        else if (!strcmp(argv[i], "--mdns") && i + 1 < argc)
            names[kMdns] = argv[++i];
        else if (!strcmp(argv[i], "--aaaa") && i + 1 < argc && aaaa_count < 4) {
            if (inet_pton(AF_INET6, argv[++i], &aaaa[aaaa_count++]) != 1)
                return fprintf(stderr, "names: bad IPv6 address %s\n", argv[i]), 2;
        } else if (!strcmp(argv[i], "--llmnr") && i + 1 < argc)
            names[kLlmnr] = argv[++i];
        else if (!strcmp(argv[i], "--nbstat") && i + 3 < argc) {
            nb_name = argv[++i];
            nb_group = argv[++i];
            unsigned m[6];
            if (sscanf(argv[++i], "%x:%x:%x:%x:%x:%x", &m[0], &m[1], &m[2], &m[3], &m[4],
                       &m[5]) != 6)
                return fprintf(stderr, "names: bad MAC %s\n", argv[i]), 2;
            for (int j = 0; j < 6; ++j)
                nb_mac[j] = (uint8_t)m[j];
        } else if (!strcmp(argv[i], "--ready") && i + 1 < argc)
            ready = argv[++i];
        else
            return fprintf(stderr, "names: unknown argument %s\n", argv[i]), 2;
    }
    if (!address || inet_pton(AF_INET, address, &own) != 1)
        return fprintf(stderr, "names: --address IP needed\n"), 2;
    const uint8_t *o = (const uint8_t *)&own.s_addr;
    snprintf(reverse, sizeof reverse, "%u.%u.%u.%u.in-addr.arpa", o[3], o[2], o[1], o[0]);

    struct pollfd fds[kServices];
    int count = 0, service_of[kServices];
    if (names[kMdns]) {
        fds[count] = (struct pollfd){open_udp(5353, "224.0.0.251"), POLLIN, 0};
        service_of[count++] = kMdns;
    }
    if (names[kLlmnr]) {
        fds[count] = (struct pollfd){open_udp(5355, "224.0.0.252"), POLLIN, 0};
        service_of[count++] = kLlmnr;
    }
    if (nb_name) {
        fds[count] = (struct pollfd){open_udp(137, NULL), POLLIN, 0};
        service_of[count++] = kNbstat;
    }
    if (ready) {
        FILE *f = fopen(ready, "w");
        if (!f)
            die(ready);
        fprintf(f, "%d\n", (int)getpid());
        fclose(f);
    }
    for (;;) {
        if (poll(fds, (nfds_t)count, -1) < 0) {
            if (errno == EINTR)
                continue;
            die("poll");
        }
        for (int i = 0; i < count; ++i) {
            if (!(fds[i].revents & POLLIN))
                continue;
            if (service_of[i] == kNbstat)
                answer_nbstat(fds[i].fd);
            else
                answer_dns(fds[i].fd, service_of[i]);
        }
    }
}
