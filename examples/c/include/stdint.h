typedef unsigned char uint8_t;
