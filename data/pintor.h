#pragma once
// Sizes and places of what the painter draws. The checkpoint marks come from
// the game's own counting lines, moved from screen to track coordinates.
#include "reglas.h"

// Where the game draws the track on the screen.
const int pista_x = 163, pista_y = 90;

const int ancho_pista = 513, alto_pista = 498;
const int ancho_titulo = 800, alto_titulo = 600;
const int ancho_coche = 24, alto_coche = 40;  // facing up or down

// The road runs round the bitmap's top-left part, where the car's corner
// can go (0..340, 0..406), one band wide, with room for the car beyond it.
const int banda = 72;
const int pista_der = 400, pista_abajo = 462;

// Counting lines in track coordinates: across both sides (up and down),
// across the right side (down), the top (right) and the bottom (left).
const int marca_arriba = (int)arriba.marca1 - pista_y;
const int marca_abajo = (int)abajo.marca2 - pista_y;
const int marca_derecha = (int)derecha.marca1 - pista_x;
const int marca_meta = (int)izquierda.marca1 - pista_x;
