void uart_init(void);
