/* The portability layer: error texts, socket start-up, and every module. */
#ifndef TAPLATFORM_TAPLATFORM_H
#define TAPLATFORM_TAPLATFORM_H

#include <stddef.h>

#include <taplatform/tafile.h>
#include <taplatform/talog.h>
#include <taplatform/tapath.h>
#include <taplatform/taprocess.h>
#include <taplatform/tastring.h>
#include <taplatform/tasynchron.h>
#include <taplatform/tathread.h>
#include <taplatform/tatime.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The library's own error codes; values below the base are errno values. */
#define TA_ERR_BASE 28672
#define TA_ERR_INSUFFICIENT_BUFFER 28677
#define TA_ERR_LOG_FAILED 28686
#define TA_ERR_LAST 28711

int ta_platform_errstr(int code, char* buffer, size_t size);

int ta_sock_init(void);
int ta_sock_fini(void);
int ta_sock_close(int* sock);

#ifdef __cplusplus
}
#endif

#endif
