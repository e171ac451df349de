# The guide's picture of the documented staircase (docs/guide-timeline.png), drawn by
# lumivo24-cli itself: the staircase made from the factory defaults with `set`, its wave saved
# with `timeline --output` as SVG and rendered to PNG by rsvg-convert (Debian librsvg2-bin,
# installed by need_host_tools) with Debian's DejaVu fonts, which the picture names first. Used
# by scripts/release for the guide it packs and by scripts/screenshots for the copy in docs/.
# Source it after common.sh.

# The documented staircase, as the README gives it: steps 1-15 light up from the bottom 150 ms
# apart and go dark from the top 150 ms apart, each in 500 ms; 16-24 give no light.
GUIDE_STAIRCASE=(ch1-15.on_delay_ms=0+150 ch15-1.off_delay_ms=0+150
    ch1-15.rise_time_ms,fall_time_ms=500
    ch16-24.on_start_level_percent,on_end_level_percent,off_start_level_percent,off_end_level_percent,standby_level_percent=0)

need_guide_timeline_tools() {
    need_commands rsvg-convert librsvg2-bin || return 1
    need_packages fonts-dejavu-core
}

guide_timeline_png() { # lumivo24-cli work-folder output.png
    local cli=$1 work=$2 png=$3
    mkdir -p "$work" || return 1
    rm -f "$work/staircase.lv24" "$work/staircase.svg"
    "$cli" set defaults "${GUIDE_STAIRCASE[@]}" -o "$work/staircase.lv24" -q || return 1
    "$cli" timeline "$work/staircase.lv24" --output "$work/staircase.svg" -q || return 1
    rsvg-convert --background-color=white "$work/staircase.svg" -o "$png"
}
