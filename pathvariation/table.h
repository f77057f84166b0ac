/* The shape of the path-variation module's direction table, for everyone
 * who builds or reads one (the module, the kernel, the tools): constants
 * only, no module state. */
#ifndef TABLE_H
#define TABLE_H

enum {
    TABLE_STEPS = 80,     /* rows of the direction table: steps 0..79 */
    DIRECTIONS = 361,     /* direction indices 0..360 */
    TABLE_COLUMNS = 722,  /* column offsets of every direction, then row offsets */
    TABLE_SIZE = TABLE_STEPS * TABLE_COLUMNS,
    MAX_HALF_LENGTH = TABLE_STEPS - 1
};

#endif
