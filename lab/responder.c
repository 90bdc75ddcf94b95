/*
 * lv-responder: many hosts behind one interface, answered from user space.
 *
 * The test LAN's crowd and its lossy segment are hosts that exist only in this
 * program: it reads every frame on one interface (a packet socket), answers ARP
 * requests for the addresses in its host table with that host's MAC, and answers
 * a UDP datagram to port 137, 5353 or 5355 of such a host with an ICMP port
 * unreachable, as a
 * host with nothing listening there would. The kernel of its namespace holds none
 * of these addresses, so it keeps no neighbour entry and answers nothing itself.
 *
 * Each host may drop a share of the ARP requests it receives and delay its
 * replies by a random time within its own range. Both come from a hash of the
 * seed, the host's address and how many requests that host has received, so a
 * given seed makes the same decisions run after run.
 *
 *   lv-responder --interface IF --hosts FILE [--seed N] [--loss PERCENT]
 *                [--ready FILE]
 *
 * FILE: one host a line, "IPV4 MAC MIN_MS MAX_MS"; '#' starts a comment.
 * --ready: written once the socket is bound (every request after it is seen).
 * SIGTERM and SIGINT end it; it prints its counters to standard error.
 *
 * Every frame is hostile: each field is read only after its bounds are checked.
 */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <errno.h>
#include <getopt.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <poll.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

enum {
    kEthHeader = 14,
    kArpBody = 28,
    kMaxHosts = 65536,
    kMaxPending = 65536,
    kFrameMax = 14 + 20 + 8 + 60 + 8, /* an ICMP error quoting the longest IPv4 header */
    kNetBiosPort = 137,
    kMdnsPort = 5353,  /* a unicast multicast-DNS query: no responder here either */
    kLlmnrPort = 5355,
};

struct host {
    uint32_t ip; /* host byte order */
    uint8_t mac[6];
    uint32_t min_ms, max_ms;
    uint64_t requests; /* ARP requests received so far */
};

struct pending {
    uint64_t due_ns;
    uint16_t size;
    uint8_t frame[kFrameMax];
};

static struct host *hosts;
static size_t host_count;
static struct pending *heap; /* min-heap by due_ns */
static size_t heap_size;
static uint64_t seed;
static uint32_t loss_permille;
static volatile sig_atomic_t stopping;
static struct {
    uint64_t requests, dropped, replies, delayed, icmp, queue_full, bad;
} counters;

static void on_signal(int sig)
{
    (void)sig;
    stopping = 1;
}

static uint64_t now_ns(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (uint64_t)t.tv_sec * 1000000000u + (uint64_t)t.tv_nsec;
}

/* splitmix64: a good spread from consecutive inputs. */
static uint64_t mix(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

static uint16_t get16(const uint8_t *p) { return (uint16_t)(p[0] << 8 | p[1]); }
static uint32_t get32(const uint8_t *p)
{
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}
static void put16(uint8_t *p, uint16_t v)
{
    p[0] = (uint8_t)(v >> 8);
    p[1] = (uint8_t)v;
}
static void put32(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)(v >> 24);
    p[1] = (uint8_t)(v >> 16);
    p[2] = (uint8_t)(v >> 8);
    p[3] = (uint8_t)v;
}

static int by_ip(const void *a, const void *b)
{
    const uint32_t x = ((const struct host *)a)->ip, y = ((const struct host *)b)->ip;
    return x < y ? -1 : x > y;
}

static struct host *find_host(uint32_t ip)
{
    size_t lo = 0, hi = host_count;
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (hosts[mid].ip == ip)
            return &hosts[mid];
        if (hosts[mid].ip < ip)
            lo = mid + 1;
        else
            hi = mid;
    }
    return NULL;
}

static int parse_mac(const char *text, uint8_t mac[6])
{
    unsigned v[6];
    char tail;
    if (sscanf(text, "%2x:%2x:%2x:%2x:%2x:%2x%c", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5],
               &tail) != 6)
        return -1;
    for (int i = 0; i < 6; ++i)
        mac[i] = (uint8_t)v[i];
    return 0;
}

static int read_hosts(const char *path)
{
    FILE *f = fopen(path, "r");
    if (!f) {
        fprintf(stderr, "lv-responder: %s: %s\n", path, strerror(errno));
        return -1;
    }
    hosts = calloc(kMaxHosts, sizeof *hosts);
    if (!hosts) {
        fclose(f);
        return -1;
    }
    char line[256];
    unsigned number = 0;
    while (fgets(line, sizeof line, f)) {
        ++number;
        char *hash = strchr(line, '#');
        if (hash)
            *hash = '\0';
        char ip_text[64], mac_text[64];
        unsigned min_ms, max_ms;
        char extra[2];
        const int n = sscanf(line, "%63s %63s %u %u %1s", ip_text, mac_text, &min_ms, &max_ms,
                             extra);
        if (n <= 0)
            continue; /* blank */
        struct in_addr address;
        struct host h = {0};
        if (n != 4 || inet_pton(AF_INET, ip_text, &address) != 1 ||
            parse_mac(mac_text, h.mac) != 0 || min_ms > max_ms || max_ms > 60000) {
            fprintf(stderr, "lv-responder: %s:%u: want \"IPV4 MAC MIN_MS MAX_MS\"\n", path,
                    number);
            fclose(f);
            return -1;
        }
        if (host_count == kMaxHosts) {
            fprintf(stderr, "lv-responder: %s: more than %d hosts\n", path, kMaxHosts);
            fclose(f);
            return -1;
        }
        h.ip = ntohl(address.s_addr);
        h.min_ms = min_ms;
        h.max_ms = max_ms;
        hosts[host_count++] = h;
    }
    fclose(f);
    qsort(hosts, host_count, sizeof *hosts, by_ip);
    for (size_t i = 1; i < host_count; ++i) {
        if (hosts[i].ip == hosts[i - 1].ip) {
            fprintf(stderr, "lv-responder: %s: an address listed twice\n", path);
            return -1;
        }
    }
    return 0;
}

/* --- the queue of delayed frames --------------------------------------- */

static void heap_swap(size_t a, size_t b)
{
    struct pending t = heap[a];
    heap[a] = heap[b];
    heap[b] = t;
}

static void heap_push(uint64_t due, const uint8_t *frame, size_t size)
{
    if (heap_size == kMaxPending || size > kFrameMax) {
        ++counters.queue_full;
        return;
    }
    size_t i = heap_size++;
    heap[i].due_ns = due;
    heap[i].size = (uint16_t)size;
    memcpy(heap[i].frame, frame, size);
    while (i > 0 && heap[(i - 1) / 2].due_ns > heap[i].due_ns) {
        heap_swap(i, (i - 1) / 2);
        i = (i - 1) / 2;
    }
}

static void heap_pop(void)
{
    heap[0] = heap[--heap_size];
    size_t i = 0;
    for (;;) {
        size_t smallest = i;
        const size_t l = 2 * i + 1, r = l + 1;
        if (l < heap_size && heap[l].due_ns < heap[smallest].due_ns)
            smallest = l;
        if (r < heap_size && heap[r].due_ns < heap[smallest].due_ns)
            smallest = r;
        if (smallest == i)
            return;
        heap_swap(i, smallest);
        i = smallest;
    }
}

/* --- the wire ---------------------------------------------------------- */

static int sock = -1;
static int ifindex;

static void send_frame(const uint8_t *frame, size_t size)
{
    struct sockaddr_ll to = {0};
    to.sll_family = AF_PACKET;
    to.sll_ifindex = ifindex;
    to.sll_halen = 6;
    memcpy(to.sll_addr, frame, 6);
    /* A full queue loses this frame, as a busy host would. */
    (void)sendto(sock, frame, size, 0, (struct sockaddr *)&to, sizeof to);
}

static uint16_t checksum(const uint8_t *data, size_t size)
{
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < size; i += 2)
        sum += get16(data + i);
    if (size & 1)
        sum += (uint32_t)data[size - 1] << 8;
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return (uint16_t)~sum;
}

/*
 * ARP over Ethernet for IPv4, after the 14-byte link header:
 *   0 htype 0001 | 2 ptype 0800 | 4 hlen 06 | 5 plen 04 | 6 op (1 request, 2 reply)
 *   8 sender MAC | 14 sender IPv4 | 18 target MAC | 24 target IPv4
 */
static void on_arp(const uint8_t *frame, size_t size)
{
    if (size < kEthHeader + kArpBody) {
        ++counters.bad;
        return;
    }
    const uint8_t *arp = frame + kEthHeader;
    if (get16(arp) != 1 || get16(arp + 2) != 0x0800 || arp[4] != 6 || arp[5] != 4) {
        ++counters.bad;
        return;
    }
    if (get16(arp + 6) != 1)
        return; /* replies and anything else: not for us to answer */
    struct host *h = find_host(get32(arp + 24));
    if (!h)
        return;
    ++counters.requests;
    const uint64_t n = h->requests++;
    const uint64_t r = mix(seed ^ mix((uint64_t)h->ip << 32 | (n & 0xFFFFFFFFu)));
    if ((uint32_t)(r % 1000) < loss_permille) {
        ++counters.dropped;
        return;
    }
    uint8_t reply[kEthHeader + kArpBody];
    memcpy(reply, arp + 8, 6); /* to the asker's MAC, as its request gave it */
    memcpy(reply + 6, h->mac, 6);
    put16(reply + 12, ETH_P_ARP);
    uint8_t *body = reply + kEthHeader;
    put16(body, 1);
    put16(body + 2, 0x0800);
    body[4] = 6;
    body[5] = 4;
    put16(body + 6, 2);
    memcpy(body + 8, h->mac, 6);
    put32(body + 14, h->ip);
    memcpy(body + 18, arp + 8, 6);  /* the asker's MAC */
    memcpy(body + 24, arp + 14, 4); /* the asker's address */
    ++counters.replies;
    const uint32_t span = h->max_ms - h->min_ms;
    const uint64_t delay_ms = h->min_ms + (span ? (r >> 16) % (span + 1) : 0);
    if (delay_ms == 0) {
        send_frame(reply, sizeof reply);
        return;
    }
    ++counters.delayed;
    heap_push(now_ns() + delay_ms * 1000000u, reply, sizeof reply);
}

/*
 * IPv4 (RFC 791): 0 version and header length | 2 total length | 6 flags, fragment
 * offset | 9 protocol | 12 source | 16 destination; then UDP: 0 source port |
 * 2 destination port. The answer is an ICMP destination unreachable, code 3 (port),
 * quoting the datagram's IP header and its first 8 bytes (RFC 792).
 */
static void on_ipv4(const uint8_t *frame, size_t size)
{
    if (size < kEthHeader + 20)
        return;
    const uint8_t *ip = frame + kEthHeader;
    const size_t available = size - kEthHeader;
    const size_t header = (size_t)(ip[0] & 0x0F) * 4;
    if ((ip[0] >> 4) != 4 || header < 20 || header > available) {
        ++counters.bad;
        return;
    }
    const size_t total = get16(ip + 2);
    if (total < header || total > available) {
        ++counters.bad;
        return;
    }
    if (ip[9] != 17 || (get16(ip + 6) & 0x3FFF) != 0 || total < header + 8)
        return; /* not UDP, or a fragment: no port to refuse */
    const uint16_t port = get16(ip + header + 2);
    if (port != kNetBiosPort && port != kMdnsPort && port != kLlmnrPort)
        return;
    struct host *h = find_host(get32(ip + 16));
    if (!h || memcmp(frame, h->mac, 6) != 0)
        return; /* only a datagram sent to that host's own MAC */

    uint8_t reply[kFrameMax];
    const size_t quoted = header + 8;
    const size_t icmp_size = 8 + quoted;
    const size_t ip_size = 20 + icmp_size;
    memcpy(reply, frame + 6, 6); /* back to the sender */
    memcpy(reply + 6, h->mac, 6);
    put16(reply + 12, ETH_P_IP);
    uint8_t *out = reply + kEthHeader;
    memset(out, 0, 20);
    out[0] = 0x45;
    put16(out + 2, (uint16_t)ip_size);
    put16(out + 4, (uint16_t)(counters.icmp & 0xFFFF));
    out[8] = 64;
    out[9] = 1;
    put32(out + 12, h->ip);
    memcpy(out + 16, ip + 12, 4);
    put16(out + 10, checksum(out, 20));
    uint8_t *icmp = out + 20;
    memset(icmp, 0, 8);
    icmp[0] = 3;
    icmp[1] = 3;
    memcpy(icmp + 8, ip, quoted);
    put16(icmp + 2, checksum(icmp, icmp_size));
    ++counters.icmp;
    send_frame(reply, kEthHeader + ip_size);
}

static void on_frame(const uint8_t *frame, size_t size)
{
    if (size < kEthHeader)
        return;
    const uint16_t type = get16(frame + 12);
    if (type == ETH_P_ARP)
        on_arp(frame, size);
    else if (type == ETH_P_IP)
        on_ipv4(frame, size);
}

static void usage(void)
{
    fprintf(stderr, "usage: lv-responder --interface IF --hosts FILE [--seed N] "
                    "[--loss PERCENT] [--ready FILE]\n");
}

int main(int argc, char **argv)
{
    const char *interface = NULL, *hosts_path = NULL, *ready = NULL;
    double loss = 0;
    static const struct option options[] = {
        {"interface", required_argument, NULL, 'i'}, {"hosts", required_argument, NULL, 'h'},
        {"seed", required_argument, NULL, 's'},      {"loss", required_argument, NULL, 'l'},
        {"ready", required_argument, NULL, 'r'},     {NULL, 0, NULL, 0},
    };
    int c;
    char *end;
    while ((c = getopt_long(argc, argv, "", options, NULL)) != -1) {
        switch (c) {
        case 'i':
            interface = optarg;
            break;
        case 'h':
            hosts_path = optarg;
            break;
        case 's':
            errno = 0;
            seed = strtoull(optarg, &end, 10);
            if (errno || *end || end == optarg) {
                usage();
                return 2;
            }
            break;
        case 'l':
            loss = strtod(optarg, &end);
            if (*end || end == optarg || !(loss >= 0 && loss <= 100)) {
                usage();
                return 2;
            }
            break;
        case 'r':
            ready = optarg;
            break;
        default:
            usage();
            return 2;
        }
    }
    if (!interface || !hosts_path || optind != argc) {
        usage();
        return 2;
    }
    loss_permille = (uint32_t)(loss * 10 + 0.5);
    if (read_hosts(hosts_path) != 0)
        return 1;
    heap = malloc(sizeof *heap * kMaxPending);
    if (!heap)
        return 1;

    ifindex = (int)if_nametoindex(interface);
    if (ifindex == 0) {
        fprintf(stderr, "lv-responder: %s: %s\n", interface, strerror(errno));
        return 1;
    }
    sock = socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, htons(ETH_P_ALL));
    if (sock < 0) {
        fprintf(stderr, "lv-responder: packet socket: %s\n", strerror(errno));
        return 1;
    }
    struct sockaddr_ll at = {0};
    at.sll_family = AF_PACKET;
    at.sll_protocol = htons(ETH_P_ALL);
    at.sll_ifindex = ifindex;
    if (bind(sock, (struct sockaddr *)&at, sizeof at) != 0) {
        fprintf(stderr, "lv-responder: bind to %s: %s\n", interface, strerror(errno));
        return 1;
    }
    /* Frames for the hosts' own MACs reach the socket without the adapter's filter. */
    struct packet_mreq promiscuous = {0};
    promiscuous.mr_ifindex = ifindex;
    promiscuous.mr_type = PACKET_MR_PROMISC;
    if (setsockopt(sock, SOL_PACKET, PACKET_ADD_MEMBERSHIP, &promiscuous, sizeof promiscuous) !=
        0) {
        fprintf(stderr, "lv-responder: promiscuous mode on %s: %s\n", interface,
                strerror(errno));
        return 1;
    }
    /* A burst of a thousand requests must wait in the socket, not be lost. */
    const int buffer = 8 << 20;
    (void)setsockopt(sock, SOL_SOCKET, SO_RCVBUFFORCE, &buffer, sizeof buffer);
    (void)setsockopt(sock, SOL_SOCKET, SO_SNDBUFFORCE, &buffer, sizeof buffer);

    struct sigaction action = {0};
    action.sa_handler = on_signal;
    sigaction(SIGTERM, &action, NULL);
    sigaction(SIGINT, &action, NULL);

    if (ready) {
        FILE *f = fopen(ready, "w");
        if (!f || fprintf(f, "%ld\n", (long)getpid()) < 0 || fclose(f) != 0) {
            fprintf(stderr, "lv-responder: %s: %s\n", ready, strerror(errno));
            return 1;
        }
    }

    uint8_t frame[2048];
    while (!stopping) {
        const uint64_t now = now_ns();
        while (heap_size > 0 && heap[0].due_ns <= now) {
            send_frame(heap[0].frame, heap[0].size);
            heap_pop();
        }
        int timeout = -1;
        if (heap_size > 0)
            timeout = (int)((heap[0].due_ns - now + 999999) / 1000000);
        struct pollfd fd = {sock, POLLIN, 0};
        const int ready_count = poll(&fd, 1, timeout);
        if (ready_count < 0) {
            if (errno == EINTR)
                continue;
            fprintf(stderr, "lv-responder: poll: %s\n", strerror(errno));
            return 1;
        }
        if (ready_count == 0)
            continue;
        /* Drain what is queued, but give due replies their turn now and then. */
        for (int i = 0; i < 256; ++i) {
            struct sockaddr_ll from;
            socklen_t from_size = sizeof from;
            const ssize_t size = recvfrom(sock, frame, sizeof frame, MSG_DONTWAIT,
                                          (struct sockaddr *)&from, &from_size);
            if (size < 0)
                break;
            if (from.sll_pkttype == PACKET_OUTGOING)
                continue; /* our own replies */
            on_frame(frame, (size_t)size);
        }
    }
    fprintf(stderr,
            "lv-responder: %zu hosts; %llu requests, %llu dropped, %llu replies (%llu delayed), "
            "%llu port unreachable, %llu lost to a full queue, %llu malformed\n",
            host_count, (unsigned long long)counters.requests,
            (unsigned long long)counters.dropped, (unsigned long long)counters.replies,
            (unsigned long long)counters.delayed, (unsigned long long)counters.icmp,
            (unsigned long long)counters.queue_full, (unsigned long long)counters.bad);
    return 0;
}
