#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""varnel's formulas, weights, robust errors, predictions, nested anova and
GLMs against the figures references.R wrote (run both in one folder):
prints, for each, the significant digits of the worst agreement.

    Rscript references.R && python3 compare.py PATH/TO/varnel
"""
import sys
import json, subprocess, math
V=sys.argv[1] if len(sys.argv) > 1 else "varnel"
ref=json.load(open("ref.json"))
def run(args):
    r=subprocess.run([V]+args+["--json"],capture_output=True,text=True)
    if r.returncode: raise SystemExit(" ".join(args)+": "+r.stderr)
    return json.loads(r.stdout)
def flat(v): return v[0] if isinstance(v,list) and len(v)==1 else v
def digits(a,b):
    b=[flat(y) for y in b]; a=[flat(x) for x in a]
    worst=99
    for x,y in zip(a,b):
        if y==0: continue
        d=abs(x-y)/abs(y)
        worst=min(worst, -math.log10(d) if d>0 else 17)
    return round(worst,1)
def col(t,c): return [r[c] for r in t]
res={}
j=run(["regress","airquality.csv","--formula","log(Ozone) ~ Solar.R + Wind*Temp + Month + I(Wind^2)","--factor","Month"])
C=j["coefficients"]; R=ref["lm_formula"]
# reorder: R order (Intercept) Solar.R Wind Temp Month6.. I(Wind^2) Wind:Temp ; ours?
res["lm formula coef"]=digits(col(C,"estimate"),R["coef"]); res["lm formula se"]=digits(col(C,"std.error"),R["se"])
res["lm formula R2"]=digits([j["model"][0]["r.squared"]],[R["r2"]]); res["lm formula anova F"]=digits(col(j["anova"],"statistic")[:5],R["anovaF"])
j=run(["regress","airquality.csv","--y","Ozone","--x","Wind,Temp","--weights","Solar.R"]); R=ref["lm_weights"]
res["wls coef"]=digits(col(j["coefficients"],"estimate"),R["coef"]); res["wls se"]=digits(col(j["coefficients"],"std.error"),R["se"])
res["wls sigma"]=digits([j["model"][0]["sigma"]],[R["sigma"]]); res["wls logLik"]=digits([j["model"][0]["logLik"]],[R["logLik"]])
j=run(["diagnose","airquality.csv","--y","Ozone","--x","Wind,Temp","--weights","Solar.R"])
res["wls hat"]=digits(col(j["observations"],".hat")[:5],R["hat"]); res["wls cooks"]=digits(col(j["observations"],".cooksd")[:5],R["cooks"])
for k in ["HC0","HC1","HC2","HC3","HC4"]:
    j=run(["regress","iris.csv","--formula","Sepal.Length ~ Sepal.Width + Petal.Length + Petal.Width","--vcov",k])
    res["vcov "+k]=digits(col(j["coefficients"],"std.error"),ref["hc_"+k])
j=run(["regress","iris.csv","--formula","Sepal.Length ~ Sepal.Width + Petal.Length + Petal.Width","--cluster","Species"])
res["vcovCL"]=digits(col(j["coefficients"],"std.error"),ref["cl"])
subprocess.run([V,"regress","tooth.csv","--formula","len ~ supp*dose + I(dose^2)","--save-model","tooth.json"],capture_output=True,check=True)
pc=run(["predict","tooth.json","tooth_new.csv","--interval","confidence"])["predictions"]
pp=run(["predict","tooth.json","tooth_new.csv","--interval","prediction"])["predictions"]
R=ref["pred"]
res["predict fit"]=digits(col(pc,".fitted"),R["fit"]); res["predict se"]=digits(col(pc,".se.fit"),R["se"])
res["predict conf"]=digits(col(pc,"conf.low")+col(pc,"conf.high"),R["clo"]+R["chi"]); res["predict pred"]=digits(col(pp,"pred.low")+col(pp,"pred.high"),R["plo"]+R["phi"])
j=run(["anova","iris.csv","--formula","Sepal.Length ~ Petal.Length","--formula","Sepal.Length ~ Petal.Length*Species"]); R=ref["anova"]
res["anova rss"]=digits(col(j["anova"],"rss"),R["rss"]); res["anova F,p"]=digits([j["anova"][1]["statistic"],j["anova"][1]["p.value"]],[R["F"],R["p"]])
for name,args in [("glm_bin",["glm","esoph.csv","--family","binomial","--formula","ncases/n ~ agegp + alcgp + tobgp","--weights","n"]),
                  ("glm_pois",["glm","insects.csv","--family","poisson","--formula","count ~ spray"]),
                  ("glm_gamma",["glm","co2.csv","--family","Gamma","--link","log","--formula","uptake ~ log(conc) + Type*Treatment"])]:
    j=run(args); R=ref[name]
    res[name+" coef"]=digits(col(j["coefficients"],"estimate"),R["coef"]); res[name+" se"]=digits(col(j["coefficients"],"std.error"),R["se"])
    m=j["model"][0]; res[name+" dev,AIC"]=digits([m["deviance"],m["AIC"]],[R["dev"],R["aic"]]); res[name+" iter (ours, R)"]=(m["iterations"],R["iter"][0] if isinstance(R["iter"],list) else R["iter"])
for k,v in res.items(): print(f"{k:28s} {v}")
