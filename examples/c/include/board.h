#ifndef BOARD_H
#define BOARD_H
void board_init(void);
#define LED_PORT (*(volatile unsigned char *)0xFF01)
#define LED_BIT 3
#define SET_BIT(reg, bit) ((reg) |= 1u << (bit))
#define CLEAR_BIT(reg, bit) ((reg) &= ~(1u << (bit)))
#endif
