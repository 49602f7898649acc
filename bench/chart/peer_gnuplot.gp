# The power-draw day graph drawn by gnuplot's pngcairo terminal, for comparison.
# usage: gnuplot -e "samples='FILE.txt'; frames=N" peer_gnuplot.gp
# The samples are read once into a datablock; each frame is a full plot to a
# PNG (pngcairo draws and encodes in one step), timed inside gnuplot.
set terminal pngcairo size 640,734 background rgb "#333333" font "Helvetica,12"
set table $data
plot samples using (floor($1/1000) - 1354752000):2 with table
unset table
stats $data using 2 nooutput
top = STATS_max * 1.1
set lmargin at screen 15.0/320
set rmargin at screen 255.0/320
set bmargin at screen 45.0/367
set tmargin at screen 352.0/367
set object 1 rectangle from screen 0,0 to screen 1,1 fillcolor rgb "#262626" behind
set xrange [0:86400]
set yrange [0:top]
set xtics ("12:00 AM" 0, "6:00 AM" 21600, "12:00 PM" 43200, "6:00 PM" 64800, "12:00 AM" 86400) textcolor rgb "white"
set ytics mirror textcolor rgb "white"
set y2tics textcolor rgb "white"
set link y2
unset ytics
set y2label "Watts" textcolor rgb "white"
set xlabel "12/06/2012" textcolor rgb "white"
set grid lc rgb "#404040" lw 0.75
set border lc rgb "#808080" lw 2
unset key
set style fill transparent solid 0.4 noborder
start = time(0.0)
do for [i=1:frames] {
    set output "/tmp/hestio-bench-gnuplot.png"
    plot $data using 1:2 with filledcurves y1=0 fillcolor rgb "#4dff4d", \
         $data using 1:2 with lines linewidth 3 linecolor rgb "#00ff00"
    unset output
}
elapsed = (time(0.0) - start) / frames * 1000
print sprintf("gnuplot     %6d samples  draw+png %7.2f ms/frame (%d frames)", STATS_records, elapsed, frames)
