  select *
	from t  ;  