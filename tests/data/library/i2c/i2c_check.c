// Every entry point of zd_i2c_kqv2.spin2, through an instance and a pointer
// as the generated scanner uses it.
#include <propeller2.h>
#include <stdio.h>

typedef struct __using("zd_i2c_kqv2.spin2") zdi2c;
zdi2c bus;
uint8_t buf[8];

void main(void)
{
    zdi2c *p = &bus;
    bus.setup(56, 57, 400, 1);
    printf("%d %d\n", p->GetSclPin(), p->GetSdaPin());
    if (p->present(0xD0))
        printf("found\n");
    bus.start();
    int a = bus.write(0xD0);
    bus.restart();
    a |= bus.write(0xD1);
    buf[0] = bus.read(1);
    bus.stop();
    bus.start();
    a |= bus.wr_block(buf, 2);
    bus.rd_block(buf, 3, 1);
    bus.stop();
    a |= bus.wr_regs(0xD0, 0, buf, 7);
    a |= bus.rd_regs(0xD0, 0, buf, 7);
    printf("%d %d\n", a, bus.stretch_timeouts());
}
