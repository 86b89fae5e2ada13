# A Tk console's smallest likeness: a text widget showing a banner and a prompt.
text .t -width 80 -height 25 -font TkFixedFont
pack .t -fill both -expand 1
.t insert end "Tk [info patchlevel]\n\n% "
focus .t
update
puts ready
flush stdout
