/* main.c - a small firmware entry */
#include "board.h"
#include <stdint.h>

#ifdef USE_UART
#include "uart.h"
#endif

int main(void)
{
    board_init();
    for (;;) {
        SET_BIT(LED_PORT, LED_BIT);
        CLEAR_BIT(LED_PORT, LED_BIT);
    }
}
