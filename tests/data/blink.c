/* Blinks the LEDs on port 1 of an AT89C2051: P1 counts down, with a busy-wait delay
   between two steps. */
#include <8051.h>

static void delay(unsigned int n)
{
    unsigned char i;
    while (n--)
        for (i = 0; i < 120; i++)
            ;
}

void main(void)
{
    unsigned char pattern = 0xFF;
    for (;;) {
        P1 = pattern--;
        delay(250);
    }
}
