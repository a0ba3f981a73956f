// Transport Layer Interface calls over BSD stream sockets.
//
// The device "/dev/tcp" opens a TCP endpoint; an address is the 16 bytes of
// an internet socket address (family 2 big-endian, port, four address
// bytes, eight zeros).  Differences from a streams-based provider, which
// callers must mind:
//  - a non-blocking t_connect completes when the endpoint becomes WRITABLE;
//  - end of stream is never a 0-byte t_rcv: t_rcv fails with TLOOK and
//    t_look reports T_ORDREL (peer closed) or T_DISCONNECT (reset);
//  - t_snd never raises SIGPIPE;
//  - there is no expedited data (t_info.etsdu is -2): attentions go in band.
//
// The calls and their records sit in namespace tli, so that they never
// clash with a name of a program that links the DB client.
#pragma once

#include <cstddef>

namespace tli {

// t_errno values.
#define TBADADDR 1
#define TBADOPT 2
#define TACCES 3
#define TBADF 4
#define TNOADDR 5
#define TOUTSTATE 6
#define TBADSEQ 7
#define TSYSERR 8
#define TLOOK 9
#define TBADDATA 10
#define TBUFOVFLW 11
#define TFLOW 12
#define TNODATA 13
#define TNODIS 14
#define TNOUDERR 15
#define TBADFLAG 16
#define TNOREL 17
#define TNOTSUPPORT 18

// Events reported by t_look.
#define T_LISTEN 0x0001
#define T_CONNECT 0x0002
#define T_DATA 0x0004
#define T_EXDATA 0x0008
#define T_DISCONNECT 0x0010
#define T_UDERR 0x0040
#define T_ORDREL 0x0080

// Service types.
#define T_COTS 1
#define T_COTS_ORD 2
#define T_CLTS 3

// t_snd / t_rcv flags.
#define T_MORE 0x001
#define T_EXPEDITED 0x002

// t_alloc structure types and fields.
#define T_BIND_STR 1
#define T_OPTMGMT_STR 2
#define T_CALL_STR 3
#define T_DIS_STR 4
#define T_ALL 0xffff

struct t_info {
  long addr;      // largest address in bytes
  long options;
  long tsdu;
  long etsdu;     // expedited data size; -2: not supported
  long connect;
  long discon;
  long servtype;  // T_COTS, T_COTS_ORD
};

struct netbuf {
  unsigned int maxlen;
  unsigned int len;
  char* buf;
};

struct t_call {
  struct netbuf addr;
  struct netbuf opt;
  struct netbuf udata;
  int sequence;
};

// The last TLI error of the process.
extern int t_errno;

int t_open(const char* path, int oflag, struct t_info* info);
int t_bind(int fd, void* req, void* ret);
void* t_alloc(int fd, int struct_type, int fields);
int t_free(void* ptr, int struct_type);
int t_connect(int fd, struct t_call* sndcall, struct t_call* rcvcall);
int t_rcvconnect(int fd, struct t_call* call);
int t_snd(int fd, const char* buf, unsigned nbytes, int flags);
int t_rcv(int fd, char* buf, unsigned nbytes, int* flags);
int t_look(int fd);
int t_getinfo(int fd, struct t_info* info);
int t_snddis(int fd, struct t_call* call);
int t_rcvdis(int fd, void* discon);
int t_sndrel(int fd);
int t_rcvrel(int fd);
int t_close(int fd);

}  // namespace tli
