#ifndef BOARD_H
#define BOARD_H
void board_init(void);
#endif
