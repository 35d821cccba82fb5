/* The interface header is plain C: a host written in C includes it as is. */
#include "plugin/host_api.h"

int QuillonHostApiIsC(void);
int QuillonHostApiIsC(void) {
    FilterRecord record = {0};
    record.inputRate = FILTER_FIXED_ONE;
    return (int)sizeof record + (int)(FILTER_KEY('v', 'i', 'g', '1') == 0x76696731u);
}
