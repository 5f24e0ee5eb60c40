#include "timers.h"

#include <allegro.h>

#include "espera.h"
#include "reglas.h"

std::atomic<int> c, crs, crm, crh;

void temp()
{
   c++;
   avisar();  // the race loop sleeps until this tick
}
END_OF_FUNCTION(temp)

void crono()
{
   paso_reloj(crh, crm, crs);
}
END_OF_FUNCTION(crono)

void instalar_timers()
{
   LOCK_VARIABLE(c);
   LOCK_VARIABLE(crs);
   LOCK_VARIABLE(crm);
   LOCK_VARIABLE(crh);
   LOCK_FUNCTION(temp);
   LOCK_FUNCTION(crono);
   install_int_ex(temp, BPS_TO_TIMER(100));
   install_int_ex(crono, SECS_TO_TIMER(1));
}
